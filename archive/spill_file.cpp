#include "archive/spill_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace zok {

bool SpillFile::Create(const std::string& folder) {
    m_fd.Reset(::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
    m_end = 0;
    return IsOpen();
}

int64_t SpillFile::Append(const uint8_t* data, size_t size) {
    const uint64_t at = m_end;
    for (size_t done = 0; done < size;) {
        const ssize_t n = ::pwrite(m_fd.Get(), data + done, size - done, off_t(at + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = EIO;
            }
            return -1;
        }
        done += size_t(n);
    }
    m_end += size;
    return int64_t(at);
}

bool SpillFile::ReadAt(uint64_t pos, uint8_t* data, size_t size) const {
    for (size_t done = 0; done < size;) {
        const ssize_t n = ::pread(m_fd.Get(), data + done, size - done, off_t(pos + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = EIO;
            }
            return false;
        }
        done += size_t(n);
    }
    return true;
}

}  // namespace zok
