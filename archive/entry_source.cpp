#include "archive/entry_source.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace zok {

EntrySource::EntrySource(int fd, uint64_t offset, uint64_t size, uint64_t fileSize)
    : m_fd(fd),
      m_offset(offset),
      m_size(size),
      m_available(offset >= fileSize ? 0 : std::min(size, fileSize - offset)) {}

size_t EntrySource::Read(void* buffer, size_t count) {
    auto* out = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    count = size_t(std::min<uint64_t>(count, Remaining()));
    while (done < count) {
        const ssize_t n =
            ::pread(m_fd, out + done, count - done, off_t(m_offset + m_position + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            // The file shrank under us, or the device failed.
            m_errno = n < 0 ? errno : EIO;
            break;
        }
        done += size_t(n);
    }
    m_position += done;
    return done;
}

bool EntrySource::Seek(uint64_t position) {
    if (position > m_available) {
        return false;
    }
    m_position = position;
    return true;
}

namespace {

ssize_t ReadCookie(void* cookie, char* buffer, size_t size) {
    auto* source = static_cast<EntrySource*>(cookie);
    const size_t n = source->Read(buffer, size);
    if (n == 0 && source->Failed()) {
        errno = source->ErrorNumber();
        return -1;
    }
    return ssize_t(n);
}

int SeekCookie(void* cookie, off64_t* offset, int whence) {
    auto* source = static_cast<EntrySource*>(cookie);
    const int64_t base = whence == SEEK_SET   ? 0
                         : whence == SEEK_CUR ? int64_t(source->Position())
                                              : int64_t(source->Available());
    const int64_t target = base + *offset;
    if (target < 0 || !source->Seek(uint64_t(target))) {
        errno = EINVAL;
        return -1;
    }
    *offset = target;
    return 0;
}

}  // namespace

FileHandle OpenEntryStream(EntrySource& source) {
    cookie_io_functions_t io{};
    io.read = ReadCookie;
    io.seek = SeekCookie;
    FILE* stream = fopencookie(&source, "rb", io);
    if (stream != nullptr) {
        // Fewer, larger reads for big picture entries.
        std::setvbuf(stream, nullptr, _IOFBF, 64 * 1024);
    }
    return FileHandle(stream);
}

}  // namespace zok
