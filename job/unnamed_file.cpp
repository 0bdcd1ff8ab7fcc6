#include "job/unnamed_file.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

namespace zok {

namespace {

constexpr size_t kPiece = 1u << 20;

// Writes all of bytes to fd; false with errno set.
bool WriteAll(int fd, const char* bytes, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, bytes, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = EIO;
            }
            return false;
        }
        bytes += n;
        size -= size_t(n);
    }
    return true;
}

// Reads what fd has next; a descriptor left non-blocking by another program is waited on.
ssize_t ReadSome(int fd, char* buffer, size_t size) {
    for (;;) {
        const ssize_t n = ::read(fd, buffer, size);
        if (n >= 0 || (errno != EINTR && errno != EAGAIN)) {
            return n;
        }
        if (errno == EAGAIN) {
            pollfd wait{fd, POLLIN, 0};
            ::poll(&wait, 1, -1);
        }
    }
}

}  // namespace

std::string TemporaryFolder() {
    const char* folder = std::getenv("TMPDIR");
    return folder != nullptr && *folder != '\0' ? folder : "/tmp";
}

UnnamedFile::~UnnamedFile() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

bool UnnamedFile::Create(Error* error) {
    const std::string folder = TemporaryFolder();
    m_fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (m_fd < 0) {
        // No unnamed files on this file system: a name that lives only until it is removed.
        std::string name = folder + "/.zok-spool-XXXXXX";
        m_fd = ::mkostemp(name.data(), O_CLOEXEC);
        if (m_fd >= 0) {
            ::unlink(name.c_str());
        }
    }
    if (m_fd < 0) {
        *error = MakeError(ErrorCode::CannotWrite, folder, "", errno);
        return false;
    }
    return true;
}

bool UnnamedFile::CopyFrom(int from, uint64_t limit, Error* error) {
    std::vector<char> buffer(kPiece);
    uint64_t total = 0;
    for (;;) {
        const ssize_t n = ReadSome(from, buffer.data(), buffer.size());
        if (n < 0) {
            *error = MakeError(ErrorCode::CannotRead, "", "", errno);
            return false;
        }
        if (n == 0) {
            return true;
        }
        total += uint64_t(n);
        if (total > limit) {
            *error = MakeError(ErrorCode::ArchiveTooLarge);
            return false;
        }
        if (!WriteAll(m_fd, buffer.data(), size_t(n))) {
            *error = MakeError(ErrorCode::CannotWrite, TemporaryFolder(), "", errno);
            return false;
        }
    }
}

bool CopyWholeFile(int from, int to, Error* error) {
    std::vector<char> buffer(kPiece);
    for (off_t at = 0;;) {
        const ssize_t n = ::pread(from, buffer.data(), buffer.size(), at);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            *error = MakeError(ErrorCode::CannotRead, "", "", errno);
            return false;
        }
        if (n == 0) {
            return true;
        }
        if (!WriteAll(to, buffer.data(), size_t(n))) {
            *error = MakeError(ErrorCode::CannotWrite, "", "", errno);
            return false;
        }
        at += n;
    }
}

}  // namespace zok
