#include "codecs/text_codec.h"

#include <algorithm>
#include <new>

#include "io/size_limits.h"
#include "zok/entry_record.h"

namespace zok {

DeflateStream::DeflateStream()
    : m_in(new (std::nothrow) Bytef[kInputChunk]), m_out(new (std::nothrow) Bytef[kOutputChunk]) {}

DeflateStream::~DeflateStream() {
    if (m_ready) {
        deflateEnd(&m_stream);
    }
}

DeflateStream* DeflateStream::ForThisThread() {
    thread_local std::unique_ptr<DeflateStream> stream;
    if (!stream) {
        stream.reset(new (std::nothrow) DeflateStream());
    }
    return stream.get();
}

int64_t DeflateStream::Compress(FILE* input, uint64_t size, FILE* archive) {
    if (!m_in || !m_out) {
        return -1;
    }
    // Level 5 with zlib's default window, memory level and strategy, as compress2 sets up.
    if (!m_ready) {
        m_stream = z_stream{};
        if (deflateInit(&m_stream, 5) != Z_OK) {
            return -1;
        }
        m_ready = true;
    } else if (deflateReset(&m_stream) != Z_OK) {
        return -1;
    }
    const off_t start = ftello(archive);
    if (start < 0) {
        return -1;
    }
    const int64_t written = Run(input, size, archive);
    if (written < 0) {
        // Leave no partial stream behind: the next entry starts where this one would have.
        std::fflush(archive);
        fseeko(archive, start, SEEK_SET);
    }
    return written;
}

int64_t DeflateStream::Run(FILE* input, uint64_t size, FILE* archive) {
    uint64_t left = size;
    int64_t written = 0;
    int flush = Z_NO_FLUSH;
    do {
        const size_t want = left < kInputChunk ? size_t(left) : kInputChunk;
        // Never more than the measured size; a file that shrank fails instead of being packed
        // with a hole (the builder then finds that it changed while it was read).
        if (want > 0 && std::fread(m_in.get(), 1, want, input) != want) {
            return -1;
        }
        left -= want;
        flush = left == 0 ? Z_FINISH : Z_NO_FLUSH;
        m_stream.next_in = m_in.get();
        m_stream.avail_in = static_cast<uInt>(want);
        do {
            m_stream.next_out = m_out.get();
            m_stream.avail_out = kOutputChunk;
            const int rc = deflate(&m_stream, flush);
            if (rc == Z_STREAM_ERROR) {
                return -1;
            }
            const size_t have = kOutputChunk - m_stream.avail_out;
            if (have > 0 && std::fwrite(m_out.get(), 1, have, archive) != have) {
                return -1;
            }
            written += int64_t(have);
        } while (m_stream.avail_out == 0);
    } while (flush != Z_FINISH);
    return written;
}

int32_t CTextCodec::Encode(FILE* input, FILE* archive) {
    if (fseeko(input, 0, SEEK_END) != 0) {
        return 0;
    }
    const off_t length = ftello(input);
    if (length < 0 || length > kMaxZokFileSize || fseeko(input, 0, SEEK_SET) != 0) {
        return 0;
    }
    DeflateStream* stream = DeflateStream::ForThisThread();
    if (stream == nullptr) {
        return 0;
    }
    const int64_t written = stream->Compress(input, uint64_t(length), archive);
    // A stream longer than the format can record is a failure like any other.
    if (written < 0 || written > kMaxZokFileSize) {
        return 0;
    }
    return static_cast<int32_t>(written);
}

}  // namespace zok
