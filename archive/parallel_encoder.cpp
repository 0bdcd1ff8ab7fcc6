#include "archive/parallel_encoder.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

#include "archive/codec_table.h"
#include "archive/entry_writer.h"
#include "archive/input_file.h"

namespace zok {

namespace {

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
    bool failedBeforeEncoding = false;  // could not be opened again, or not the file checked
    BuildProblem problem{};
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

    Pipeline(const std::vector<std::string>& paths, CheckedInputs& inputs,
             const std::vector<const EntryKindRule*>& rules, uint64_t maxBytesAhead,
             BuildTracker& tracker)
        : m_paths(paths),
          m_inputs(inputs),
          m_rules(rules),
          m_tracker(tracker),
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
    CheckedInputs& m_inputs;
    const std::vector<const EntryKindRule*>& m_rules;
    BuildTracker& m_tracker;
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
    Outcome outcome;
    uint64_t counted = 0;
    try {
        InputFile input;
        if (!m_inputs.Open(i, input, &outcome.problem)) {
            outcome.status = EntryWriteStatus::Failed;
            outcome.failedBeforeEncoding = true;
            Finish(i, std::move(outcome));
            return;
        }
        input.SetCancel(m_tracker.Cancel());
        if (m_tracker.WantsReads()) {
            input.OnRead([this, &counted](uint64_t read) {
                m_tracker.AddRead(read - counted);
                counted = read;
            });
        }
        EntryRecord record;
        record.sourceSize = input.Size();
        EntrySink sink(*this, i);
        FileHandle stream(sink.Open(streamBuffer));
        if (!stream) {
            outcome.status = EntryWriteStatus::Failed;
            outcome.problem = {BuildProblemKind::CannotWriteArchive, "", errno};
        } else {
            try {
                outcome.status =
                    EncodeInput(codecs, input, *m_rules[i], stream.Get(), record, &outcome.problem);
            } catch (...) {
                outcome.exception = std::current_exception();
            }
            errno = 0;
            const bool flushed = stream.Close() && sink.Close();
            if (!flushed && !outcome.exception && outcome.status != EntryWriteStatus::Failed) {
                outcome.status = EntryWriteStatus::Failed;
                outcome.problem = {m_tracker.Cancelled() ? BuildProblemKind::Cancelled
                                                         : BuildProblemKind::CannotWriteArchive,
                                   "", errno != 0 ? errno : EIO};
            }
            outcome.end = sink.Position();
        }
        m_tracker.AddRead(input.Size() - std::min<uint64_t>(counted, input.Size()));
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

}  // namespace

ParallelResult WriteEntriesInParallel(const std::vector<std::string>& paths, CheckedInputs& inputs,
                                      const std::vector<const EntryKindRule*>& rules,
                                      ZokWriter& writer, unsigned threads, uint64_t maxBytesAhead,
                                      BuildTracker& tracker, BuildReport& report) {
    Pipeline pipeline(paths, inputs, rules, maxBytesAhead, tracker);
    struct PeakNote {
        const Pipeline& pipeline;
        BuildReport& report;
        ~PeakNote() { report.peakBytesAhead = pipeline.Peak(); }
    } peakNote{pipeline, report};
    WorkerThreads workers(pipeline, threads);
    if (workers.Count() == 0) {
        return ParallelResult::NoThreads;
    }
    const auto fail = [&report](BuildProblem problem, const std::string& path) {
        if (problem.path.empty()) {
            problem.path = path;
        }
        report.problems.push_back(problem);
        return ParallelResult::Failed;
    };

    for (size_t i = 0; i < paths.size(); ++i) {
        pipeline.SetHead(i);
        BuildProblem placeProblem{};
        const bool placed = writer.BeginEntry(i, paths[i], &placeProblem);
        const uint64_t offset = writer.End();
        BuildProblem writeProblem{};
        bool writeFailed = false;
        Piece piece;
        while (pipeline.Take(i, &piece)) {
            // After a failure the rest of the entry is only drained; its outcome decides the
            // message, in the order a build on one thread meets them.
            if (placed && !writeFailed && !tracker.Cancelled()) {
                writeFailed = !writer.WriteAt(offset + piece.pos, piece.bytes.data(),
                                              piece.bytes.size(), &writeProblem);
            }
            tracker.Report(offset + piece.pos + piece.bytes.size());
        }
        Outcome& slot = pipeline.OutcomeOf(i);
        if (tracker.Cancelled()) {
            return fail({BuildProblemKind::Cancelled, "", 0}, "");
        }
        if (slot.failedBeforeEncoding) {
            return fail(slot.problem, paths[i]);
        }
        if (!placed) {
            return fail(placeProblem, paths[i]);
        }
        if (slot.exception) {
            report.currentInput = paths[i];
            std::rethrow_exception(slot.exception);
        }
        if (writeFailed) {
            return fail(writeProblem, paths[i]);
        }
        if (slot.status == EntryWriteStatus::Failed) {
            return fail(slot.problem, paths[i]);
        }
        // The next entry starts where this one's stream ended, as in a file.
        BuildProblem endProblem{};
        if (!writer.EndEntry(i, offset + slot.end, slot.sourceSize, slot.storedSize, slot.kind,
                             paths[i], &endProblem)) {
            return fail(endProblem, paths[i]);
        }
        if (slot.status == EntryWriteStatus::Unencoded) {
            report.unencoded.push_back(paths[i]);
        }
        tracker.FileDone(slot.sourceSize, writer.End());
    }
    return ParallelResult::Written;
}

}  // namespace zok
