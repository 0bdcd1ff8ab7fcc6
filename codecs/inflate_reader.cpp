#include "codecs/inflate_reader.h"

#include <algorithm>
#include <limits>
#include <new>

namespace zok {

namespace {

constexpr size_t kInputChunk = 256 * 1024;

}  // namespace

InflateReader::InflateReader(Pull pull, void* context, uint64_t expected)
    : m_pull(pull), m_context(context), m_expected(expected) {}

InflateReader::~InflateReader() {
    if (m_started) {
        inflateEnd(&m_stream);
    }
}

bool InflateReader::Start() {
    m_input.reset(new (std::nothrow) uint8_t[kInputChunk]);
    if (!m_input || inflateInit(&m_stream) != Z_OK) {
        m_problem = ErrorCode::OutOfMemory;
        return false;
    }
    m_started = true;
    return true;
}

size_t InflateReader::Inflate(uint8_t* out, size_t size) {
    m_stream.next_out = out;
    m_stream.avail_out = uInt(size);
    while (m_stream.avail_out > 0 && !m_ended && m_problem == ErrorCode::None) {
        if (m_stream.avail_in == 0 && !m_exhausted) {
            const size_t n = m_pull(m_context, m_input.get(), kInputChunk);
            m_exhausted = n == 0;
            m_stream.next_in = m_input.get();
            m_stream.avail_in = uInt(n);
        }
        const int rc = inflate(&m_stream, Z_NO_FLUSH);
        if (rc == Z_STREAM_END) {
            m_ended = true;
        } else if (rc == Z_BUF_ERROR) {
            if (m_stream.avail_in == 0 && m_exhausted) {
                m_problem = ErrorCode::DataCutShort;
            }
        } else if (rc == Z_MEM_ERROR) {
            m_problem = ErrorCode::OutOfMemory;
        } else if (rc != Z_OK) {
            m_problem = ErrorCode::DataCorrupt;
        }
    }
    return size - m_stream.avail_out;
}

void InflateReader::Verify() {
    uint8_t extra = 0;
    if (Inflate(&extra, 1) > 0) {
        m_problem = ErrorCode::InflatesTooLong;
    } else if (m_problem == ErrorCode::None && !m_ended) {
        m_problem = ErrorCode::DataCutShort;
    }
    m_verified = true;
}

size_t InflateReader::Read(uint8_t* out, size_t size) {
    if (m_problem != ErrorCode::None || m_verified) {
        return 0;
    }
    if (!m_started && !Start()) {
        return 0;
    }
    const size_t want = size_t(std::min<uint64_t>(
        {uint64_t(size), m_expected - m_done, uint64_t(std::numeric_limits<uInt>::max())}));
    const size_t produced = want > 0 ? Inflate(out, want) : 0;
    m_done += produced;
    if (m_problem == ErrorCode::None && m_ended && m_done < m_expected) {
        m_problem = ErrorCode::InflatesTooShort;
    } else if (m_problem == ErrorCode::None && m_done == m_expected) {
        Verify();
    }
    return produced;
}

}  // namespace zok
