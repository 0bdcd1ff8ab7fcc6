#include "archive/entry_sink.h"

#include <algorithm>
#include <cerrno>

namespace zok {

FILE* EntrySink::Open(std::vector<char>& buffer) {
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

// Called by stdio with what the codec wrote; 0 tells it the write failed. Nothing may propagate
// from here into the C library.
ssize_t EntrySink::Write(const char* buf, size_t size) {
    try {
        if (!m_open.bytes.empty() && m_open.pos + m_open.bytes.size() != m_pos && !Seal()) {
            errno = ECANCELED;
            return 0;
        }
        if (m_open.bytes.empty()) {
            m_open.pos = m_pos;
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

int EntrySink::Seek(off64_t* offset, int whence) {
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

bool EntrySink::Seal() {
    if (m_open.bytes.empty()) {
        return true;
    }
    const uint64_t size = m_open.bytes.size();
    m_handover.ItemOf(m_index).pieces.push_back(std::move(m_open));
    m_open = Piece();
    m_handover.bytes += size;
    return m_handover.bytes < m_pipeline.PieceBytes() || m_pipeline.Hand(m_handover);
}

}  // namespace zok
