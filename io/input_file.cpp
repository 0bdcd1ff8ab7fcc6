#include "io/input_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <new>

#include "io/regular_file.h"
#include "io/size_limits.h"

namespace zok {

namespace {

constexpr uint64_t kReportEvery = 1 << 20;

bool SameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

}  // namespace

InputStamp InputStamp::Of(const struct stat& status) {
    return {status.st_dev, status.st_ino, status.st_size, status.st_mtim, status.st_ctim};
}

bool InputStamp::SameFile(const InputStamp& other) const {
    return device == other.device && inode == other.inode;
}

bool InputStamp::operator==(const InputStamp& other) const {
    return SameFile(other) && size == other.size && SameTime(modified, other.modified) &&
           SameTime(changed, other.changed);
}

InputFile::~InputFile() = default;

bool InputFile::Open(const std::string& path, Error* problem) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        *problem = MakeError(ErrorCode::CannotRead, path, "", errno);
        return false;
    }
    m_owned.Reset(fd);
    return Measure(fd, path, problem) && Start(path, problem);
}

bool InputFile::Adopt(UniqueFd fd, const InputStamp& stamp, const std::string& label,
                      Error* problem) {
    m_fd = fd.Get();
    m_owned = std::move(fd);
    m_stamp = stamp;
    return Start(label, problem);
}

bool InputFile::Adopt(FILE* file, const std::string& label, Error* problem) {
    std::fflush(file);
    m_fdPos = -1;
    return Measure(::fileno(file), label, problem) && Start(label, problem);
}

bool InputFile::Measure(int fd, const std::string& label, Error* problem) {
    m_fd = fd;
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        *problem = MakeError(ErrorCode::CannotRead, label, "", errno);
        return false;
    }
    // Never waits on a FIFO or device: they are refused by their kind before any read.
    if (!S_ISREG(status.st_mode)) {
        *problem = MakeError(NotRegularCode(mode_t(status.st_mode & S_IFMT)), label);
        return false;
    }
    if (status.st_size > kMaxZokFileSize) {
        *problem = MakeError(ErrorCode::FileTooLarge, label);
        return false;
    }
    m_stamp = InputStamp::Of(status);
    return true;
}

bool InputFile::Start(const std::string& label, Error* problem) {
    m_label = label;
    cookie_io_functions_t io{};
    io.read = &InputFile::Read;
    io.seek = &InputFile::Seek;
    FILE* stream = fopencookie(this, "rb", io);
    if (stream == nullptr) {
        *problem = MakeError(ErrorCode::CannotRead, label, "", errno);
        return false;
    }
    // A buffer of its own: stdio would give a cookie stream 8 KiB, and a read a piece. Without
    // memory for it the stream keeps stdio's.
    m_buffer.reset(new (std::nothrow) char[kBufferSize]);
    if (m_buffer) {
        std::setvbuf(stream, m_buffer.get(), _IOFBF, kBufferSize);
    }
    m_stream.Reset(stream);
    return true;
}

ssize_t InputFile::Read(void* cookie, char* buffer, size_t size) {
    auto* self = static_cast<InputFile*>(cookie);
    if (self->Cancelled()) {
        errno = ECANCELED;
        return -1;
    }
    // Reads go on from the descriptor's own offset; once a codec has sought elsewhere (or an
    // adopted stream left it elsewhere) they go by position, so that no read needs a seek.
    const bool atOffset = self->m_fdPos == int64_t(self->m_pos);
    ssize_t n;
    bool blockingTried = false;
    while ((n = atOffset ? ::read(self->m_fd, buffer, size)
                         : ::pread(self->m_fd, buffer, size, off_t(self->m_pos))) < 0) {
        if (errno == EINTR) {
            continue;
        }
        // The file was opened without blocking so that a FIFO could not stop the check; a
        // regular file never asks to wait, but should one, it is read in the ordinary mode.
        if ((errno != EAGAIN && errno != EWOULDBLOCK) || blockingTried) {
            break;
        }
        blockingTried = true;
        (void)::fcntl(self->m_fd, F_SETFL, ::fcntl(self->m_fd, F_GETFL) & ~O_NONBLOCK);
    }
    if (n < 0) {
        self->m_readError = errno;
        return -1;
    }
    if (n == 0) {
        self->m_endedEarly = self->m_endedEarly || self->m_pos < uint64_t(self->m_stamp.size);
        return 0;
    }
    if (atOffset) {
        self->m_fdPos += n;
    }
    self->m_pos += uint64_t(n);
    self->m_read += uint64_t(n);
    if (self->m_onRead && self->m_read - self->m_reported >= kReportEvery) {
        self->m_reported = self->m_read;
        self->m_onRead(self->m_read);
    }
    return n;
}

// Seeks move only the position reads start from; the end is where the file ended when it was
// measured.
int InputFile::Seek(void* cookie, off64_t* offset, int whence) {
    auto* self = static_cast<InputFile*>(cookie);
    const int64_t base = whence == SEEK_SET   ? 0
                         : whence == SEEK_CUR ? int64_t(self->m_pos)
                                              : int64_t(self->m_stamp.size);
    const int64_t target = base + *offset;
    if (target < 0) {
        errno = EINVAL;
        return -1;
    }
    self->m_pos = uint64_t(target);
    *offset = target;
    return 0;
}

bool InputFile::ReadFailed(Error* problem) const {
    if (m_readError == 0) {
        return false;
    }
    *problem = MakeError(ErrorCode::CannotRead, m_label, "", m_readError);
    return true;
}

bool InputFile::Unchanged(Error* problem) const {
    struct stat now {};
    const bool same =
        m_fd >= 0 && ::fstat(m_fd, &now) == 0 && InputStamp::Of(now) == m_stamp && !m_endedEarly;
    if (!same) {
        *problem = MakeError(ErrorCode::FileChanged, m_label);
    }
    return same;
}

}  // namespace zok
