#pragma once

#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <memory>

#include "codecs/entry_codec.h"

namespace zok {

// Deflate codec: the entry is one zlib stream of the whole input (level 5).
class CTextCodec : public CEntryCodec {
public:
    int32_t Encode(FILE* input, FILE* archive) override;
};

// One reusable zlib deflate state at level 5 with fixed-size work buffers, so that a file of
// any size is packed in constant memory and many small files do not each pay for setting up
// a new state. Its output is the zlib stream compress2 gives at level 5. Not shared between
// threads: each thread keeps its own (see ForThisThread).
class DeflateStream {
public:
    static constexpr size_t kInputChunk = 128 * 1024;
    static constexpr size_t kOutputChunk = 64 * 1024;

    DeflateStream();
    ~DeflateStream();
    DeflateStream(const DeflateStream&) = delete;
    DeflateStream& operator=(const DeflateStream&) = delete;

    // Reads exactly size bytes from input's position and writes their zlib stream at the
    // archive's position. Returns the stream's length, or -1 when the state could not be set
    // up, the input ended early or failed, or a write failed; the archive is then put back
    // where it was.
    int64_t Compress(FILE* input, uint64_t size, FILE* archive);

    // The calling thread's own stream, made on first use.
    static DeflateStream* ForThisThread();

private:
    int64_t Run(FILE* input, uint64_t size, FILE* archive);

    z_stream m_stream{};
    bool m_ready = false;
    std::unique_ptr<Bytef[]> m_in;
    std::unique_ptr<Bytef[]> m_out;
};

}  // namespace zok
