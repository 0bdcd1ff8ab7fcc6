#include "io/input_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "io/regular_file.h"
#include "io/size_limits.h"

namespace zok {

namespace {

constexpr uint64_t kReportEvery = 1 << 20;

bool SameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

}  // namespace

InputFile::~InputFile() {
    m_stream.Reset();
}

bool InputFile::Open(const std::string& path, BuildProblem* problem) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        *problem = {BuildProblemKind::CannotReadInput, path, errno};
        return false;
    }
    return Start(fd, true, path, problem);
}

bool InputFile::Adopt(FILE* file, const std::string& label, BuildProblem* problem) {
    std::fflush(file);
    return Start(::fileno(file), false, label, problem);
}

bool InputFile::Start(int fd, bool ownsFd, const std::string& label, BuildProblem* problem) {
    m_fd = fd;
    m_ownsFd = ownsFd;
    m_label = label;
    const auto fail = [&](BuildProblemKind kind, int error) {
        *problem = {kind, label, error};
        if (m_ownsFd) {
            ::close(m_fd);
        }
        m_fd = -1;
        return false;
    };
    if (::fstat(fd, &m_status) != 0) {
        return fail(BuildProblemKind::CannotReadInput, errno);
    }
    // Never waits on a FIFO or device: they are refused by their kind before any read.
    if (!S_ISREG(m_status.st_mode)) {
        fail(BuildProblemKind::NotAFile, 0);
        problem->fileType = m_status.st_mode & S_IFMT;
        return false;
    }
    (void)::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    const off_t length = ::lseek(fd, 0, SEEK_END);
    if (length < 0 || ::lseek(fd, 0, SEEK_SET) != 0) {
        return fail(BuildProblemKind::CannotReadInput, errno);
    }
    if (length > kMaxZokFileSize) {
        return fail(BuildProblemKind::InputTooLarge, 0);
    }
    m_size = uint32_t(length);
    cookie_io_functions_t io{};
    io.read = &InputFile::Read;
    io.seek = &InputFile::Seek;
    io.close = &InputFile::Close;
    FILE* stream = fopencookie(this, "rb", io);
    if (stream == nullptr) {
        return fail(BuildProblemKind::CannotReadInput, errno);
    }
    std::setvbuf(stream, nullptr, _IOFBF, 64 * 1024);
    m_stream.Reset(stream);
    return true;
}

ssize_t InputFile::Read(void* cookie, char* buffer, size_t size) {
    auto* self = static_cast<InputFile*>(cookie);
    if (self->Cancelled()) {
        errno = ECANCELED;
        return -1;
    }
    ssize_t n;
    do {
        n = ::read(self->m_fd, buffer, size);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        self->m_readError = errno;
        return -1;
    }
    if (n == 0) {
        const off_t at = ::lseek(self->m_fd, 0, SEEK_CUR);
        self->m_endedEarly = self->m_endedEarly || (at >= 0 && uint64_t(at) < self->m_size);
        return 0;
    }
    self->m_read += uint64_t(n);
    if (self->m_onRead && self->m_read - self->m_reported >= kReportEvery) {
        self->m_reported = self->m_read;
        self->m_onRead(self->m_read);
    }
    return n;
}

int InputFile::Seek(void* cookie, off64_t* offset, int whence) {
    auto* self = static_cast<InputFile*>(cookie);
    const off_t at = ::lseek(self->m_fd, off_t(*offset), whence);
    if (at < 0) {
        return -1;
    }
    *offset = at;
    return 0;
}

int InputFile::Close(void* cookie) {
    auto* self = static_cast<InputFile*>(cookie);
    if (self->m_ownsFd && self->m_fd >= 0) {
        ::close(self->m_fd);
    }
    self->m_fd = -1;
    return 0;
}

bool InputFile::ReadFailed(BuildProblem* problem) const {
    if (m_readError == 0) {
        return false;
    }
    *problem = {BuildProblemKind::CannotReadInput, m_label, m_readError};
    return true;
}

bool InputFile::Unchanged(BuildProblem* problem) const {
    struct stat now {};
    const bool same = m_fd >= 0 && ::fstat(m_fd, &now) == 0 && now.st_size == m_status.st_size &&
                      SameTime(now.st_mtim, m_status.st_mtim) &&
                      SameTime(now.st_ctim, m_status.st_ctim) && !m_endedEarly;
    if (!same) {
        *problem = {BuildProblemKind::InputChanged, m_label, 0};
    }
    return same;
}

}  // namespace zok
