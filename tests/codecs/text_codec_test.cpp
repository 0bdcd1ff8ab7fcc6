#include "codecs/text_codec.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include "io/file_handle.h"
#include "tests/support/test_support.h"

using namespace zok;

using namespace zoktest;

namespace {

FileHandle StreamWith(const std::string& bytes) {
    FileHandle f(std::tmpfile());
    std::fwrite(bytes.data(), 1, bytes.size(), f.Get());
    return f;
}

// The room one-shot compression of n bytes was given: floor((n + 12) * 1.01). The stream
// never needs more.
uint64_t OnePercentBound(uint64_t n) {
    return (n + 12) * 101 / 100;
}

// What zlib's one-shot uncompress makes of an entry of size bytes.
std::string Inflate(const std::string& packed, size_t size) {
    std::string out(size, '\0');
    uLongf length = uLongf(size);
    const int rc = uncompress(reinterpret_cast<Bytef*>(out.data()), &length,
                              reinterpret_cast<const Bytef*>(packed.data()), uLong(packed.size()));
    return rc == Z_OK && length == size ? out : "<not " + std::to_string(size) + " bytes>";
}

TEST(TextCodec, RoundTripsEdgeSizesAndIncompressibleData) {
    CTextCodec codec;
    for (const std::string& data :
         {std::string(), std::string("x"), RandomBytes(4096, 5), RandomBytes(4097, 6),
          TextBytes(100000), RandomBytes(70000, 9)}) {
        FileHandle input = StreamWith(data);
        // The input may stand anywhere: the codec rewinds it.
        std::fseek(input.Get(), long(data.size() / 2), SEEK_SET);
        FileHandle archive(std::tmpfile());
        std::fputs("PREFIX", archive.Get());
        const int32_t stored = codec.Encode(input.Get(), archive.Get());
        ASSERT_GT(stored, 0) << data.size();
        EXPECT_EQ(std::ftell(archive.Get()), 6 + stored);
        EXPECT_LE(uint64_t(stored), OnePercentBound(data.size()));
        std::fseek(archive.Get(), 6, SEEK_SET);
        std::string entry(size_t(stored), '\0');
        ASSERT_EQ(std::fread(entry.data(), 1, entry.size(), archive.Get()), entry.size());
        EXPECT_EQ(Inflate(entry, data.size()), data);
    }
}

}  // namespace
