#include "archive/zok_writer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "archive/directory_writer.h"
#include "archive/zok_format.h"

namespace zok {

ZokWriter::ZokWriter(std::vector<std::string> cp949Names) : m_records(cp949Names.size()) {
    for (size_t i = 0; i < cp949Names.size(); ++i) {
        m_records[i].name = std::move(cp949Names[i]);
    }
}

bool ZokWriter::WriteFailure(Error* problem, int error) const {
    *problem = MakeError(ErrorCode::CannotWrite, m_target, "", error != 0 ? error : EIO);
    return false;
}

// A target that is no regular file is no archive to write: a folder, a FIFO or a device is
// refused by its kind.
bool ZokWriter::CreateFailure(const Error& error, Error* problem) const {
    switch (error.code) {
        case ErrorCode::IsAFolder:
            return WriteFailure(problem, EISDIR);
        case ErrorCode::IsAFifo:
        case ErrorCode::IsASocket:
        case ErrorCode::IsADevice:
        case ErrorCode::NotRegularFile:
            *problem = MakeError(error.code, m_target);
            return false;
        default:
            return WriteFailure(problem, error.errorNumber);
    }
}

bool ZokWriter::Create(const std::string& targetPath, Error* problem) {
    m_target = targetPath;
    uint64_t nameBytes = 0;
    for (const EntryRecord& r : m_records) {
        nameBytes += r.name.size();
    }
    const uint64_t headerSize = DirectorySize(m_records.size(), nameBytes);
    if (headerSize > uint64_t(kMaxZokFileSize)) {
        *problem = MakeError(ErrorCode::ArchiveWouldBeTooLarge, targetPath);
        return false;
    }
    Error error;
    if (!m_file.Create(targetPath, &error)) {
        return CreateFailure(error, problem);
    }
    m_buffer.resize(256 * 1024);
    std::setvbuf(m_file.Get(), m_buffer.data(), _IOFBF, m_buffer.size());
    // The header and directory are written last, over this reservation.
    const std::string reservation(size_t(headerSize), '\0');
    if (std::fwrite(reservation.data(), 1, reservation.size(), m_file.Get()) !=
        reservation.size()) {
        return WriteFailure(problem, errno);
    }
    // One seek tells stdio where the stream stands; from then on ftello needs no system call.
    if (fseeko(m_file.Get(), off_t(headerSize), SEEK_SET) != 0) {
        return WriteFailure(problem, errno);
    }
    m_end = m_position = headerSize;
    return true;
}

bool ZokWriter::Seek(uint64_t pos, Error* problem) {
    if (m_position == pos) {
        return true;
    }
    if (fseeko(m_file.Get(), off_t(pos), SEEK_SET) != 0) {
        return WriteFailure(problem, errno);
    }
    m_position = pos;
    return true;
}

bool ZokWriter::BeginEntry(size_t index, const std::string& label, Error* problem) {
    if (m_end > uint64_t(kMaxZokFileSize)) {
        *problem = MakeError(ErrorCode::ArchiveWouldBeTooLarge, label);
        return false;
    }
    m_records[index].offset = static_cast<uint32_t>(m_end);
    return Seek(m_end, problem);
}

bool ZokWriter::WriteAt(uint64_t pos, const uint8_t* bytes, size_t size, Error* problem) {
    if (!Seek(pos, problem)) {
        return false;
    }
    if (std::fwrite(bytes, 1, size, m_file.Get()) != size) {
        return WriteFailure(problem, errno);
    }
    m_position += size;
    return true;
}

uint64_t ZokWriter::StreamPosition() const {
    const off_t at = ftello(m_file.Get());
    return at < 0 ? m_end : uint64_t(at);
}

bool ZokWriter::EndEntry(size_t index, uint64_t end, uint32_t sourceSize, uint32_t storedSize,
                         EntryKind kind, const std::string& label, Error* problem) {
    if (end > uint64_t(kMaxZokFileSize)) {
        *problem = MakeError(ErrorCode::ArchiveWouldBeTooLarge, label);
        return false;
    }
    // A codec that wrote past its entry's end (and then failed) is stepped back over.
    m_position = StreamPosition();
    if (!Seek(end, problem)) {
        return false;
    }
    EntryRecord& r = m_records[index];
    r.sourceSize = sourceSize;
    r.storedSize = storedSize;
    r.kind = kind;
    m_end = end;
    return true;
}

bool ZokWriter::CopyEntry(size_t index, int fd, uint64_t offset, const EntryRecord& record,
                          const std::string& label, const std::function<bool(uint64_t)>& onBytes,
                          Error* problem) {
    if (!BeginEntry(index, label, problem)) {
        return false;
    }
    FILE* out = m_file.Get();
    if (std::fflush(out) != 0) {
        return WriteFailure(problem, errno);
    }
    const int to = ::fileno(out);
    constexpr size_t kPiece = 4 << 20;
    loff_t from = loff_t(offset);
    loff_t at = loff_t(m_end);
    uint64_t left = record.storedSize;
    bool kernel = true;
    std::vector<uint8_t> buffer;
    while (left > 0) {
        const size_t want = size_t(std::min<uint64_t>(left, kPiece));
        ssize_t n = -1;
        if (kernel) {
            n = ::copy_file_range(fd, &from, to, &at, want, 0);
            if (n < 0 && errno != EINTR) {
                // Across file systems, not here, or a failure: the copy through memory tells a
                // failed read of fd from a failed write of the archive (a full disk, say).
                kernel = false;
                continue;
            }
        } else {
            buffer.resize(want);
            n = ::pread(fd, buffer.data(), want, from);
            if (n > 0 && !WriteAt(uint64_t(at), buffer.data(), size_t(n), problem)) {
                return false;
            }
            if (n > 0) {
                from += n;
                at += n;
            }
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            *problem = MakeError(ErrorCode::CannotRead, label, "", n < 0 ? errno : EIO);
            return false;
        }
        left -= uint64_t(n);
        if (onBytes && !onBytes(uint64_t(n))) {
            *problem = MakeError(ErrorCode::Cancelled, label);
            return false;
        }
    }
    if (std::fflush(out) != 0 || fseeko(out, at, SEEK_SET) != 0) {
        return WriteFailure(problem, errno);
    }
    m_position = uint64_t(at);
    return EndEntry(index, uint64_t(at), record.sourceSize, record.storedSize, record.kind, label,
                    problem);
}

bool ZokWriter::Commit(bool replace, Error* problem) {
    FILE* out = m_file.Get();
    // Nothing follows the last entry, whatever a failed one wrote before it was stepped over.
    struct stat st {};
    if (std::fflush(out) != 0 || ::fstat(::fileno(out), &st) != 0 ||
        (uint64_t(st.st_size) > m_end && ::ftruncate(::fileno(out), off_t(m_end)) != 0)) {
        return WriteFailure(problem, errno);
    }
    const std::string directory = SerializeDirectory(m_records);
    if (fseeko(out, 0, SEEK_SET) != 0 ||
        std::fwrite(directory.data(), 1, directory.size(), out) != directory.size()) {
        return WriteFailure(problem, errno);
    }
    Error error;
    if (!m_file.Commit(&error, true, replace)) {
        return WriteFailure(problem,
                            error.code == ErrorCode::AlreadyExists ? EEXIST : error.errorNumber);
    }
    return true;
}

}  // namespace zok
