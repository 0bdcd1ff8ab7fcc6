#include "zok/build_archive.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

#include "archive/atomic_file.h"
#include "archive/codec_table.h"
#include "archive/directory_writer.h"
#include "archive/entry_writer.h"
#include "archive/file_handle.h"
#include "archive/names.h"
#include "archive/zok_format.h"

namespace {

bool Fail(BuildReport& report, std::string message) {
    report.error = std::move(message);
    return false;
}

// Opens an input for reading only; refuses folders and other non-regular files.
FileHandle OpenInput(const std::string& path, std::string* error) {
    FileHandle input = FileHandle::Open(path, "rb");
    if (!input) {
        *error = path + ": " + SystemReason(errno);
        return input;
    }
    struct stat st {};
    if (::fstat(::fileno(input.Get()), &st) != 0) {
        *error = path + ": " + SystemReason(errno);
        input.Reset();
    } else if (S_ISDIR(st.st_mode)) {
        *error = path + ": is a folder, not a file";
        input.Reset();
    } else if (!S_ISREG(st.st_mode)) {
        *error = path + ": is not a regular file";
        input.Reset();
    }
    return input;
}

// Writes bytes at pos, seeking only when the stream is not already there.
bool WriteAt(FILE* out, uint64_t* outPos, uint64_t pos, const uint8_t* bytes, size_t size) {
    if (*outPos != pos && fseeko(out, off_t(pos), SEEK_SET) != 0) {
        return false;
    }
    *outPos = pos;
    if (std::fwrite(bytes, 1, size, out) != size) {
        return false;
    }
    *outPos += size;
    return true;
}

// Cuts off what a codec wrote past its entry's end before stepping back (a failed entry),
// so that nothing follows the last entry.
bool TruncateAt(FILE* out, uint64_t end) {
    if (std::fflush(out) != 0) {
        return false;
    }
    struct stat st {};
    if (::fstat(::fileno(out), &st) != 0) {
        return false;
    }
    return uint64_t(st.st_size) <= end || ::ftruncate(::fileno(out), off_t(end)) == 0;
}

// ---------------------------------------------------------------------------------------------
// Parallel packing. Workers encode inputs, in input order as they become free, each into a
// memory stream of its own; the calling thread writes the entries into the archive in order,
// streaming the entry it is on while its worker still encodes it. Encoded bytes waiting for the
// writer are capped; only the entry being written may go past the cap, one piece at a time.

// A piece of one entry's encoded data at its position within the entry.
struct Piece {
    uint64_t pos = 0;
    std::vector<uint8_t> bytes;
};

// What a worker found out about one input, beside its data.
struct Outcome {
    EntryWriteStatus status = EntryWriteStatus::Written;
    bool failedBeforeEncoding = false;  // not opened, not measurable, too large
    std::string error;
    std::exception_ptr exception;
    uint32_t sourceSize = 0;
    uint32_t storedSize = 0;
    EntryKind kind = EntryKind::Other;
    uint64_t end = 0;  // the entry stream's position after encoding: its length in the archive
};

// One input's encoding as the writer receives it.
struct Slot {
    std::vector<Piece> pieces;
    size_t taken = 0;  // pieces before this one are with the writer
    uint64_t buffered = 0;
    bool done = false;
    Outcome outcome;  // valid once done
};

class Pipeline {
public:
    // Inputs that may be claimed ahead of the one being written. Bounds the bookkeeping for
    // archives of very many small files; the byte cap bounds the data.
    static constexpr size_t kWindow = 1024;

    Pipeline(const std::vector<std::string>& paths, uint64_t maxBytesAhead)
        : m_paths(paths),
          m_slots(std::min(paths.size(), kWindow)),
          m_cap(std::max<uint64_t>(maxBytesAhead, 1)),
          m_pieceBytes(size_t(std::clamp<uint64_t>(m_cap / 4, 4096, 256 * 1024))) {}

    size_t PieceBytes() const { return m_pieceBytes; }
    uint64_t Peak() const { return m_peak; }

    // The next input for a worker, waiting while it is too far ahead of the writer; false when
    // there is none or the build stopped.
    bool Claim(size_t* index) {
        std::unique_lock lock(m_mutex);
        m_workerCv.wait(lock, [&] { return m_cancelled || m_next < m_head + m_slots.size(); });
        if (m_cancelled || m_next >= m_paths.size()) {
            return false;
        }
        *index = m_next++;
        return true;
    }

    // Hands a piece of entry i to the writer, waiting while the cap is reached. The entry being
    // written always gets through once the writer has taken its earlier pieces, so the build
    // never waits on itself. False when the build stopped.
    bool Push(size_t i, Piece piece) {
        const uint64_t size = piece.bytes.size();
        std::unique_lock lock(m_mutex);
        Slot& slot = SlotOf(i);
        m_workerCv.wait(lock, [&] {
            return m_cancelled || m_total + size <= m_cap || (i == m_head && slot.buffered == 0);
        });
        if (m_cancelled) {
            return false;
        }
        slot.pieces.push_back(std::move(piece));
        slot.buffered += size;
        m_total += size;
        m_peak = std::max(m_peak, m_total);
        if (i == m_head) {
            m_writerCv.notify_one();
        }
        return true;
    }

    void Finish(size_t i, Outcome&& outcome) {
        std::lock_guard lock(m_mutex);
        Slot& slot = SlotOf(i);
        slot.outcome = std::move(outcome);
        slot.done = true;
        if (i == m_head) {
            m_writerCv.notify_one();
        }
    }

    // Makes entry i the one being written; the slot of the entry before it is free again.
    void SetHead(size_t i) {
        std::lock_guard lock(m_mutex);
        if (i > 0) {
            SlotOf(i - 1) = Slot();
        }
        m_head = i;
        m_workerCv.notify_all();
    }

    // The next piece of entry i, waiting for it; false once the entry is done and drained.
    bool Take(size_t i, Piece* piece) {
        std::unique_lock lock(m_mutex);
        Slot& slot = SlotOf(i);
        m_writerCv.wait(lock, [&] { return slot.taken < slot.pieces.size() || slot.done; });
        if (slot.taken == slot.pieces.size()) {
            return false;
        }
        *piece = std::move(slot.pieces[slot.taken++]);
        if (slot.taken == slot.pieces.size()) {
            slot.pieces.clear();
            slot.taken = 0;
        }
        slot.buffered -= piece->bytes.size();
        m_total -= piece->bytes.size();
        m_workerCv.notify_all();
        return true;
    }

    // What became of entry i, once Take returned false.
    Outcome& OutcomeOf(size_t i) { return SlotOf(i).outcome; }

    void Cancel() {
        std::lock_guard lock(m_mutex);
        m_cancelled = true;
        m_workerCv.notify_all();
    }

    void Work();

private:
    Slot& SlotOf(size_t i) { return m_slots[i % m_slots.size()]; }
    void EncodeOne(size_t i, const CCodecTable& codecs, std::vector<char>& streamBuffer);

    const std::vector<std::string>& m_paths;
    std::vector<Slot> m_slots;
    const uint64_t m_cap;
    const size_t m_pieceBytes;

    std::mutex m_mutex;
    std::condition_variable m_workerCv;  // room under the cap or in the window, or a stop
    std::condition_variable m_writerCv;  // a piece or the end of the head entry
    size_t m_next = 0;
    size_t m_head = 0;
    uint64_t m_total = 0;
    uint64_t m_peak = 0;
    bool m_cancelled = false;
};

// The write-only memory stream a worker gives a codec as its archive: every write becomes part
// of a piece at its position in the entry, and a codec may seek as in a file.
class EntrySink {
public:
    EntrySink(Pipeline& pipeline, size_t index) : m_pipeline(pipeline), m_index(index) {}

    FILE* Open(std::vector<char>& buffer) {
        cookie_io_functions_t io{};
        io.write = [](void* c, const char* buf, size_t size) -> ssize_t {
            return static_cast<EntrySink*>(c)->Write(buf, size);
        };
        io.seek = [](void* c, off64_t* offset, int whence) -> int {
            return static_cast<EntrySink*>(c)->Seek(offset, whence);
        };
        FILE* file = fopencookie(this, "wb", io);
        if (file != nullptr) {
            std::setvbuf(file, buffer.data(), _IOFBF, buffer.size());
        }
        return file;
    }

    // Hands over the last piece; false when the build stopped.
    bool Close() { return Seal(); }

    uint64_t Position() const { return m_pos; }

private:
    // Called by stdio with what the codec wrote; 0 tells it the write failed. Nothing may
    // propagate from here into the C library.
    ssize_t Write(const char* buf, size_t size) {
        try {
            if (!m_open.bytes.empty() && m_open.pos + m_open.bytes.size() != m_pos && !Seal()) {
                errno = ECANCELED;
                return 0;
            }
            if (m_open.bytes.empty()) {
                m_open.pos = m_pos;
                m_open.bytes.reserve(m_pipeline.PieceBytes());
            }
            m_open.bytes.insert(m_open.bytes.end(), buf, buf + size);
            m_pos += size;
            m_extent = std::max(m_extent, m_pos);
            if (m_open.bytes.size() >= m_pipeline.PieceBytes() && !Seal()) {
                errno = ECANCELED;
                return 0;
            }
            return ssize_t(size);
        } catch (...) {
            errno = ENOMEM;
            return 0;
        }
    }

    int Seek(off64_t* offset, int whence) {
        const int64_t base = whence == SEEK_SET   ? 0
                             : whence == SEEK_CUR ? int64_t(m_pos)
                                                  : int64_t(m_extent);
        const int64_t target = base + *offset;
        if (target < 0) {
            errno = EINVAL;
            return -1;
        }
        m_pos = uint64_t(target);
        *offset = target;
        return 0;
    }

    bool Seal() {
        if (m_open.bytes.empty()) {
            return true;
        }
        Piece piece = std::move(m_open);
        m_open = Piece();
        return m_pipeline.Push(m_index, std::move(piece));
    }

    Pipeline& m_pipeline;
    const size_t m_index;
    Piece m_open;
    uint64_t m_pos = 0;
    uint64_t m_extent = 0;
};

void Pipeline::Work() {
    const CCodecTable codecs;
    std::vector<char> streamBuffer(64 * 1024);
    size_t i = 0;
    while (Claim(&i)) {
        EncodeOne(i, codecs, streamBuffer);
    }
}

void Pipeline::EncodeOne(size_t i, const CCodecTable& codecs, std::vector<char>& streamBuffer) {
    const std::string& path = m_paths[i];
    Outcome outcome;
    try {
        FileHandle input = OpenInput(path, &outcome.error);
        uint32_t size = 0;
        if (!input ||
            MeasureInput(input.Get(), path, &size, &outcome.error) == EntryWriteStatus::Failed) {
            outcome.status = EntryWriteStatus::Failed;
            outcome.failedBeforeEncoding = true;
            Finish(i, std::move(outcome));
            return;
        }
        EntryRecord record;
        record.sourceSize = size;
        EntrySink sink(*this, i);
        FileHandle stream(sink.Open(streamBuffer));
        if (!stream) {
            outcome.status = EntryWriteStatus::Failed;
            outcome.error = path + ": " + SystemReason(errno);
        } else {
            try {
                outcome.status = EncodeEntryData(codecs, input.Get(), path, stream.Get(), record,
                                                 path, &outcome.error);
            } catch (...) {
                outcome.exception = std::current_exception();
            }
            errno = 0;
            const bool flushed = stream.Close() && sink.Close();
            if (!flushed && !outcome.exception && outcome.status != EntryWriteStatus::Failed) {
                outcome.status = EntryWriteStatus::Failed;
                outcome.error =
                    path + ": cannot write the archive: " + SystemReason(errno != 0 ? errno : EIO);
            }
            outcome.end = sink.Position();
        }
        outcome.sourceSize = record.sourceSize;
        outcome.storedSize = record.storedSize;
        outcome.kind = record.kind;
    } catch (...) {
        outcome.exception = std::current_exception();
    }
    Finish(i, std::move(outcome));
}

// Stops and joins the workers however the writer leaves.
class WorkerThreads {
public:
    // Starts up to count threads; fewer when the system refuses more.
    WorkerThreads(Pipeline& pipeline, unsigned count) : m_pipeline(pipeline) {
        try {
            for (unsigned t = 0; t < count; ++t) {
                m_threads.emplace_back([&pipeline] { pipeline.Work(); });
            }
        } catch (const std::system_error&) {
        }
    }
    ~WorkerThreads() {
        m_pipeline.Cancel();
        for (std::thread& thread : m_threads) {
            thread.join();
        }
    }
    WorkerThreads(const WorkerThreads&) = delete;
    WorkerThreads& operator=(const WorkerThreads&) = delete;

    size_t Count() const { return m_threads.size(); }

private:
    Pipeline& m_pipeline;
    std::vector<std::thread> m_threads;
};

bool WriteEntriesInTurn(const std::vector<std::string>& paths, std::vector<EntryRecord>& records,
                        FILE* out, uint64_t* outPos, ProgressCallback callback,
                        BuildReport& report);

// Writes every entry through worker threads. Returns false with report.error on failure;
// codec exceptions are raised again here, in input order.
bool WriteEntriesInParallel(const std::vector<std::string>& paths,
                            std::vector<EntryRecord>& records, FILE* out, uint64_t* outPos,
                            unsigned threads, uint64_t maxBytesAhead, ProgressCallback callback,
                            BuildReport& report) {
    Pipeline pipeline(paths, maxBytesAhead);
    struct PeakNote {
        const Pipeline& pipeline;
        BuildReport& report;
        ~PeakNote() { report.peakBytesAhead = pipeline.Peak(); }
    } peakNote{pipeline, report};
    WorkerThreads workers(pipeline, threads);
    if (workers.Count() == 0) {
        return WriteEntriesInTurn(paths, records, out, outPos, callback, report);
    }

    uint32_t bytesDone = 0;
    for (size_t i = 0; i < paths.size(); ++i) {
        pipeline.SetHead(i);
        const uint64_t offset = *outPos;
        const bool offsetTooFar = offset > uint64_t(kMaxZokFileSize);
        std::string writeError;
        Piece piece;
        while (pipeline.Take(i, &piece)) {
            // After a failure the rest of the entry is only drained; its outcome decides the
            // message, in the order a build on one thread meets them.
            if (!offsetTooFar && writeError.empty() &&
                !WriteAt(out, outPos, offset + piece.pos, piece.bytes.data(), piece.bytes.size())) {
                writeError = paths[i] + ": cannot write the archive: " +
                             SystemReason(errno != 0 ? errno : EIO);
            }
        }
        Outcome& slot = pipeline.OutcomeOf(i);
        if (slot.failedBeforeEncoding) {
            return Fail(report, std::move(slot.error));
        }
        if (offsetTooFar) {
            return Fail(report, ArchiveTooLargeMessage(paths[i]));
        }
        if (slot.exception) {
            std::rethrow_exception(slot.exception);
        }
        if (!writeError.empty()) {
            return Fail(report, std::move(writeError));
        }
        if (slot.status == EntryWriteStatus::Failed) {
            return Fail(report, std::move(slot.error));
        }
        const uint64_t end = offset + slot.end;
        if (end > uint64_t(kMaxZokFileSize)) {
            return Fail(report, ArchiveTooLargeMessage(paths[i]));
        }
        // The next entry starts where this one's stream ended, as in a file.
        if (*outPos != end) {
            if (fseeko(out, off_t(end), SEEK_SET) != 0) {
                return Fail(report,
                            paths[i] + ": cannot write the archive: " + SystemReason(errno));
            }
            *outPos = end;
        }
        EntryRecord& record = records[i];
        record.offset = static_cast<uint32_t>(offset);
        record.sourceSize = slot.sourceSize;
        record.storedSize = slot.storedSize;
        record.kind = slot.kind;
        if (slot.status == EntryWriteStatus::Unencoded) {
            report.unencoded.push_back(paths[i]);
        }
        if (callback != nullptr) {
            bytesDone += record.sourceSize;
            callback(static_cast<int32_t>(i + 1), bytesDone, static_cast<uint32_t>(end));
        }
    }
    return true;
}

// Writes every entry on the calling thread, one input after another.
bool WriteEntriesInTurn(const std::vector<std::string>& paths, std::vector<EntryRecord>& records,
                        FILE* out, uint64_t* outPos, ProgressCallback callback,
                        BuildReport& report) {
    const CCodecTable codecs;
    std::string error;
    uint32_t bytesDone = 0;
    for (size_t i = 0; i < paths.size(); ++i) {
        FileHandle input = OpenInput(paths[i], &error);
        if (!input) {
            return Fail(report, error);
        }
        const EntryWriteStatus status =
            WriteEntry(codecs, input.Get(), paths[i], out, records[i], paths[i], &error);
        input.Reset();
        if (status == EntryWriteStatus::Failed) {
            return Fail(report, error);
        }
        if (status == EntryWriteStatus::Unencoded) {
            report.unencoded.push_back(paths[i]);
        }
        if (callback != nullptr) {
            bytesDone += records[i].sourceSize;
            callback(static_cast<int32_t>(i + 1), bytesDone, static_cast<uint32_t>(ftello(out)));
        }
    }
    const off_t end = ftello(out);
    if (end < 0) {
        return Fail(report, "cannot write the archive: " + SystemReason(errno));
    }
    *outPos = uint64_t(end);
    return true;
}

unsigned ThreadCount(const BuildOptions& options, size_t inputs) {
    unsigned threads = options.threads;
    if (threads == 0) {
        threads = std::max(1u, std::thread::hardware_concurrency());
    }
    return unsigned(std::min<size_t>(threads, std::max<size_t>(inputs, 1)));
}

}  // namespace

bool BuildArchive(const std::vector<std::string>& paths, const std::string& outputPath,
                  ProgressCallback callback, BuildReport* reportOut, const BuildOptions& options) {
    BuildReport localReport;
    BuildReport& report = reportOut != nullptr ? *reportOut : localReport;
    report = BuildReport();

    // The directory as it goes to disk: names converted to CP949 before anything is written.
    std::vector<EntryRecord> records(paths.size());
    uint64_t nameBytes = 0;
    for (size_t i = 0; i < paths.size(); ++i) {
        std::optional<std::string> name = Utf8ToCp949(BaseName(paths[i]));
        if (!name) {
            return Fail(report, paths[i] +
                                    ": the file name cannot be written in the archive's "
                                    "Korean (CP949) character set");
        }
        nameBytes += name->size();
        records[i].name = std::move(*name);
    }
    const uint64_t headerSize = DirectorySize(paths.size(), nameBytes);
    if (headerSize > uint64_t(kMaxZokFileSize)) {
        return Fail(report, outputPath + ": the directory would reach 2 GiB");
    }

    // Larger writes than stdio's default: fewer system calls for many small entries. Declared
    // before the output so that it outlives the stream.
    std::vector<char> outBuffer(256 * 1024);
    AtomicFile output;
    std::string error;
    if (!output.Create(outputPath, &error)) {
        return Fail(report, error);
    }
    FILE* out = output.Get();
    std::setvbuf(out, outBuffer.data(), _IOFBF, outBuffer.size());
    {
        // Reserve the header and directory; they are written last.
        const std::string reservation(size_t(headerSize), '\0');
        if (std::fwrite(reservation.data(), 1, reservation.size(), out) != reservation.size()) {
            return Fail(report, outputPath + ": " + SystemReason(errno));
        }
    }

    uint64_t end = headerSize;
    const unsigned threads = ThreadCount(options, paths.size());
    const bool written = threads > 1
                             ? WriteEntriesInParallel(paths, records, out, &end, threads,
                                                      options.maxBytesAhead, callback, report)
                             : WriteEntriesInTurn(paths, records, out, &end, callback, report);
    if (!written) {
        return false;
    }
    if (!TruncateAt(out, end)) {
        return Fail(report, outputPath + ": " + SystemReason(errno));
    }

    const std::string directory = SerializeDirectory(records);
    if (fseeko(out, 0, SEEK_SET) != 0 ||
        std::fwrite(directory.data(), 1, directory.size(), out) != directory.size()) {
        return Fail(report, outputPath + ": " + SystemReason(errno));
    }
    if (!output.Commit(&error)) {
        return Fail(report, error);
    }
    return true;
}

bool BuildArchive(const std::vector<std::string>& paths, const std::string& outputPath,
                  ProgressCallback callback, BuildReport* report) {
    return BuildArchive(paths, outputPath, callback, report, BuildOptions());
}

bool BuildArchive(const char* const* paths, const char* outputPath, int32_t count,
                  ProgressCallback callback, BuildReport* report) {
    std::vector<std::string> list;
    list.reserve(count > 0 ? size_t(count) : 0);
    for (int32_t i = 0; i < count; ++i) {
        list.emplace_back(paths[i]);
    }
    return BuildArchive(list, outputPath != nullptr ? outputPath : "", callback, report);
}
