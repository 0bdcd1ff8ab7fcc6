#include "codecs/text_codec.h"

#include <zlib.h>

#include <new>

#include "archive/entry_record.h"

uint32_t CTextCodec::CompressBound(uint32_t n) {
    return static_cast<uint32_t>((uint64_t(n) + 12) * 101 / 100);
}

int32_t CTextCodec::Encode(FILE* input, FILE* archive) {
    if (fseeko(input, 0, SEEK_END) != 0) {
        return 0;
    }
    const off_t length = ftello(input);
    if (length < 0 || length > kMaxZokFileSize || fseeko(input, 0, SEEK_SET) != 0) {
        return 0;
    }
    const uint32_t n = static_cast<uint32_t>(length);
    std::unique_ptr<Bytef[]> source(new (std::nothrow) Bytef[n == 0 ? 1 : n]);
    uLongf bound = CompressBound(n);
    std::unique_ptr<Bytef[]> packed(new (std::nothrow) Bytef[bound]);
    if (!source || !packed) {
        return 0;
    }
    // A file that shrank since it was measured must not be packed with garbage at its end.
    if (n > 0 && std::fread(source.get(), 1, n, input) != n) {
        return 0;
    }
    if (compress2(packed.get(), &bound, source.get(), n, 5) != Z_OK) {
        return 0;
    }
    if (std::fwrite(packed.get(), 1, bound, archive) != bound) {
        return 0;
    }
    return static_cast<int32_t>(bound);
}

bool CTextCodec::Extract(FILE* archive, uint8_t* buffer, uint32_t sourceSize, uint32_t storedSize) {
    std::unique_ptr<Bytef[]> packed(new (std::nothrow) Bytef[storedSize == 0 ? 1 : storedSize]);
    if (!packed) {
        return false;
    }
    if (std::fread(packed.get(), 1, storedSize, archive) != storedSize) {
        return false;
    }
    uLongf length = sourceSize;
    Bytef dummy = 0;
    Bytef* dest = buffer != nullptr ? buffer : &dummy;
    return uncompress(dest, &length, packed.get(), storedSize) == Z_OK;
}
