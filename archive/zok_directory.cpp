#include "archive/zok_directory.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "archive/entry_names.h"
#include "archive/zok_format.h"
#include "io/atomic_file.h"
#include "io/little_endian.h"
#include "io/names.h"
#include "io/regular_file.h"
#include "io/system_reason.h"

namespace zok {

namespace {

// Reads the directory front to back through a buffer of its own, so that a directory of any
// size is read with few system calls and never held twice in memory.

class DirectoryBytes {
public:
    DirectoryBytes(int fd, uint64_t start, uint64_t end) : m_fd(fd), m_pos(start), m_end(end) {}

    uint64_t Position() const { return m_pos; }
    uint64_t Left() const { return m_end - m_pos; }

    // Appends count bytes to out; false when they run past the end or cannot be read.
    bool Take(size_t count, std::string& out) {
        if (count > Left()) {
            return false;
        }
        while (count > 0) {
            if (m_next == m_buffer.size() && !Fill()) {
                return false;
            }
            const size_t n = std::min(count, m_buffer.size() - m_next);
            out.append(m_buffer.data() + m_next, n);
            m_next += n;
            m_pos += n;
            count -= n;
        }
        return true;
    }

    bool Take(size_t count, uint8_t* out) {
        std::string bytes;
        if (!Take(count, bytes)) {
            return false;
        }
        std::memcpy(out, bytes.data(), count);
        return true;
    }

    int ErrorNumber() const { return m_errno; }

private:
    bool Fill() {
        constexpr uint64_t kChunk = 1 << 20;
        m_buffer.resize(size_t(std::min(kChunk, Left())));
        size_t done = 0;
        while (done < m_buffer.size()) {
            const ssize_t n =
                ::pread(m_fd, m_buffer.data() + done, m_buffer.size() - done, off_t(m_pos + done));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                m_errno = n < 0 ? errno : EIO;
                return false;
            }
            done += size_t(n);
        }
        m_next = 0;
        return true;
    }

    int m_fd;
    uint64_t m_pos;
    uint64_t m_end;
    std::string m_buffer;
    size_t m_next = 0;
    int m_errno = 0;
};

// A reader that has found its entry unreadable before reading anything.

class DirectoryLoader {
public:
    explicit DirectoryLoader(ArchiveDirectory& dir) : m_dir(dir), m_version(dir.version) {}

    void Load() {
        Open();
        ReadHeaderAndRecords();
        CheckLayout();
    }

private:
    // A damaged directory: what() names the file and the code, Problem() has the numbers.
    [[noreturn]] void Damaged(ErrorCode code, uint64_t number = 0, uint64_t other = 0,
                              int errorNumber = 0) const {
        Error problem = MakeError(code, m_dir.path, "", errorNumber);
        problem.number = number;
        problem.other = other;
        throw ZokError(m_dir.path + ": not a readable ZOK archive (" + ErrorCodeName(code) + ")",
                       std::move(problem));
    }
    [[noreturn]] void NotAnArchive() const {
        throw ZokError(m_dir.path + ": not a ZOK archive",
                       MakeError(ErrorCode::NotAnArchive, m_dir.path));
    }

    void Open() {
        // Never blocks: a FIFO or device is refused by its type, not waited on. A file opened
        // by the caller is checked alike.
        if (m_dir.fd < 0) {
            m_dir.fd = ::open(m_dir.path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
        }
        if (m_dir.fd < 0) {
            throw ZokOpenError(m_dir.path, errno);
        }
        struct stat st {};
        if (::fstat(m_dir.fd, &st) != 0) {
            throw ZokOpenError(m_dir.path, errno);
        }
        if (S_ISDIR(st.st_mode)) {
            throw ZokOpenError(m_dir.path, EISDIR);
        }
        if (!S_ISREG(st.st_mode)) {
            const ErrorCode code = NotRegularCode(st.st_mode);
            throw ZokError(m_dir.path + ": not a regular file (" + ErrorCodeName(code) + ")",
                           MakeError(code, m_dir.path));
        }
        if (st.st_size > kMaxZokFileSize) {
            Damaged(ErrorCode::ArchiveTooLarge);
        }
        m_dir.fileSize = uint64_t(st.st_size);
        m_dir.device = st.st_dev;
        m_dir.inode = st.st_ino;
    }

    void ReadHeaderAndRecords() {
        const uint64_t fileSize = m_dir.fileSize;
        uint8_t head[kHeaderSize] = {};
        const size_t headSize = size_t(std::min<uint64_t>(fileSize, kHeaderSize));
        DirectoryBytes start(m_dir.fd, 0, headSize);
        if (!start.Take(headSize, head)) {
            Damaged(ErrorCode::CannotRead, 0, 0, start.ErrorNumber());
        }
        uint64_t dirStart = 0;
        if (headSize >= 3 && std::memcmp(head, kZokMagic, 3) == 0) {
            if (headSize < kHeaderSize) {
                Damaged(ErrorCode::HeaderCutShort);
            }
            std::memcpy(m_version, head + 3, 3);
            m_count = GetU32(head + 6);
            dirStart = kHeaderSize;
            m_withMagic = true;
        } else {
            // Version 1.0.0: no magic, the count stands at offset 0.
            if (headSize < 4) {
                NotAnArchive();
            }
            std::memcpy(m_version, "100", 3);
            m_count = GetU32(head);
            dirStart = 4;
        }
        const uint32_t count = m_count;
        if (uint64_t(count) * kRecordFixedSize > fileSize - dirStart) {
            Fail(ErrorCode::DirectoryPastEnd, count);
        }

        DirectoryBytes bytes(m_dir.fd, dirStart, fileSize);
        m_dir.entries.reserve(count);
        uint8_t fixed[kRecordFixedSize - 4];
        std::string length;
        for (uint32_t i = 0; i < count; ++i) {
            length.clear();
            if (!bytes.Take(4, length)) {
                Fail(ErrorCode::RecordPastEnd, i + 1);
            }
            const uint32_t nameLength = GetU32(reinterpret_cast<const uint8_t*>(length.data()));
            if (uint64_t(nameLength) + sizeof fixed > bytes.Left()) {
                Fail(ErrorCode::NamePastEnd, i + 1, nameLength);
            }
            CompactRecord r{};
            r.nameStart = uint32_t(m_dir.names.size());
            r.nameLength = nameLength;
            if (!bytes.Take(nameLength, m_dir.names) || !bytes.Take(sizeof fixed, fixed)) {
                Damaged(ErrorCode::CannotRead, 0, 0, bytes.ErrorNumber());
            }
            r.offset = GetU32(fixed);
            r.sourceSize = GetU32(fixed + 4);
            r.storedSize = GetU32(fixed + 8);
            r.kind = static_cast<EntryKind>(fixed[12]);
            m_dir.entries.push_back(r);
        }
        m_dir.directoryEnd = bytes.Position();
        m_dir.names.shrink_to_fit();
    }

    // A broken directory: a damaged archive when it has the magic, else no archive at all.
    [[noreturn]] void Fail(ErrorCode code, uint64_t number = 0, uint64_t other = 0) const {
        if (!m_withMagic) {
            NotAnArchive();
        }
        Damaged(code, number, other);
    }

    // Entries' data must lie behind the directory and must not overlap: an archive whose
    // records share bytes would make a reader write far more than the file holds.
    void CheckLayout() const {
        const std::vector<CompactRecord>& entries = m_dir.entries;
        uint64_t lastEnd = m_dir.directoryEnd;
        for (const CompactRecord& r : entries) {
            const uint64_t end = uint64_t(r.offset) + r.storedSize;
            if (!m_withMagic && (r.offset < m_dir.directoryEnd || end > m_dir.fileSize)) {
                NotAnArchive();
            }
            lastEnd = std::max(lastEnd, end);
        }
        if (!m_withMagic && lastEnd != m_dir.fileSize) {
            NotAnArchive();
        }

        std::vector<uint32_t> order;
        bool inOrder = true;
        uint32_t previous = 0;
        for (uint32_t i = 0; i < entries.size(); ++i) {
            if (entries[i].storedSize == 0) {
                continue;
            }
            inOrder = inOrder && (order.empty() || entries[previous].offset <= entries[i].offset);
            order.push_back(i);
            previous = i;
        }
        if (!inOrder) {
            std::stable_sort(order.begin(), order.end(), [&entries](uint32_t a, uint32_t b) {
                return entries[a].offset < entries[b].offset;
            });
        }
        for (size_t k = 0; k < order.size(); ++k) {
            const CompactRecord& r = entries[order[k]];
            if (r.offset < m_dir.directoryEnd) {
                Damaged(ErrorCode::DataOverlapsDirectory, order[k] + 1);
            }
            if (k > 0) {
                const CompactRecord& before = entries[order[k - 1]];
                if (uint64_t(before.offset) + before.storedSize > r.offset) {
                    const uint32_t a = std::min(order[k - 1], order[k]) + 1;
                    const uint32_t b = std::max(order[k - 1], order[k]) + 1;
                    Damaged(ErrorCode::DataOverlap, a, b);
                }
            }
        }
    }

    ArchiveDirectory& m_dir;
    char* m_version;
    uint32_t m_count = 0;
    bool m_withMagic = false;
};

}  // namespace

void ArchiveDirectory::Sort() const {
    byName.resize(entries.size());
    for (uint32_t i = 0; i < byName.size(); ++i) {
        byName[i] = i;
    }
    std::sort(byName.begin(), byName.end(), [this](uint32_t a, uint32_t b) {
        const int c = CompareFolded(RawName(entries[a]), RawName(entries[b]));
        return c != 0 ? c < 0 : a < b;
    });
}

std::optional<size_t> ArchiveDirectory::FindRaw(std::string_view raw) const {
    std::call_once(sorted, [this] { Sort(); });
    const auto it = std::lower_bound(byName.begin(), byName.end(), raw,
                                     [this](uint32_t index, std::string_view key) {
                                         return CompareFolded(RawName(entries[index]), key) < 0;
                                     });
    if (it == byName.end() || CompareFolded(RawName(entries[*it]), raw) != 0) {
        return std::nullopt;
    }
    return *it;
}

void LoadDirectory(ArchiveDirectory& dir) {
    DirectoryLoader(dir).Load();
}

std::optional<size_t> FindEntryNamed(const ArchiveDirectory& dir, std::string_view name) {
    std::optional<size_t> found;
    if (IsAscii(name)) {
        found = dir.FindRaw(name);
    } else if (std::optional<std::string> raw = Utf8ToCp949(name)) {
        found = dir.FindRaw(*raw);
    }
    if (!found) {
        if (std::optional<std::string> raw = UnescapeName(name)) {
            found = dir.FindRaw(*raw);
        }
    }
    return found;
}

}  // namespace zok
