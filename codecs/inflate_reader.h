#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <memory>

#include "zok/error.h"

namespace zok {

// Inflates one zlib stream piece by piece and holds it to its size: the stream is sound only
// when it ends (Z_STREAM_END) after exactly `expected` bytes of output, within the bytes the
// source gives. Fewer, more, a stream cut short or corrupt data are damage, found where they
// show. Bytes after the stream's end are not read.
class InflateReader {
public:
    // Fills buffer with up to size bytes of the compressed stream; 0 when there are no more.
    using Pull = size_t (*)(void* context, uint8_t* buffer, size_t size);

    InflateReader(Pull pull, void* context, uint64_t expected);
    ~InflateReader();
    InflateReader(const InflateReader&) = delete;
    InflateReader& operator=(const InflateReader&) = delete;

    // Up to size bytes of the inflated content; 0 once it is complete or damaged. When the
    // last byte is handed out the stream's end has been checked as well.
    size_t Read(uint8_t* out, size_t size);

    // Every expected byte was handed out and the stream ended exactly there.
    bool Complete() const { return m_verified && m_problem == ErrorCode::None; }
    // Why the stream is damaged (DataCutShort, DataCorrupt, InflatesTooLong, InflatesTooShort,
    // OutOfMemory), or None while it is sound.
    ErrorCode Problem() const { return m_problem; }

private:
    bool Start();
    // Runs inflate into out; returns the bytes produced.
    size_t Inflate(uint8_t* out, size_t size);
    // After the last expected byte: the stream must end without another byte.
    void Verify();

    Pull m_pull;
    void* m_context;
    uint64_t m_expected;
    uint64_t m_done = 0;
    z_stream m_stream{};
    bool m_started = false;
    bool m_ended = false;      // Z_STREAM_END seen
    bool m_exhausted = false;  // the source has no more bytes
    bool m_verified = false;
    ErrorCode m_problem = ErrorCode::None;
    std::unique_ptr<uint8_t[]> m_input;
};

}  // namespace zok
