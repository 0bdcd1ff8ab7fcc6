#include "codecs/text_codec.h"

#include <gtest/gtest.h>

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

        std::string out(data.size(), '\0');
        std::fseek(archive.Get(), 6, SEEK_SET);
        EXPECT_TRUE(codec.Extract(archive.Get(), reinterpret_cast<uint8_t*>(out.data()),
                                  uint32_t(data.size()), uint32_t(stored)));
        EXPECT_EQ(out, data);
    }
}

TEST(TextCodec, ExtractRefusesTooSmallTargetsGarbageAndShortData) {
    CTextCodec codec;
    const std::string data = TextBytes(5000);
    FileHandle input = StreamWith(data);
    FileHandle archive(std::tmpfile());
    const int32_t stored = codec.Encode(input.Get(), archive.Get());
    ASSERT_GT(stored, 0);
    std::string out(data.size(), '\0');
    auto* buf = reinterpret_cast<uint8_t*>(out.data());

    std::rewind(archive.Get());
    EXPECT_FALSE(codec.Extract(archive.Get(), buf, uint32_t(data.size() - 1), uint32_t(stored)));
    // Cut short: the archive ends before the stored size.
    std::rewind(archive.Get());
    EXPECT_FALSE(codec.Extract(archive.Get(), buf, uint32_t(data.size()), uint32_t(stored + 10)));
    FileHandle garbage = StreamWith(RandomBytes(300, 2));
    std::rewind(garbage.Get());
    EXPECT_FALSE(codec.Extract(garbage.Get(), buf, uint32_t(data.size()), 300));
}

TEST(TextCodec, HasNoBitmapOperations) {
    CTextCodec codec;
    FileHandle archive = StreamWith("anything");
    BITMAPINFOHEADER header;
    PixelBuffer alpha(new uint8_t[4]);
    EXPECT_EQ(codec.DecodeBitmap(archive.Get(), &header, &alpha), nullptr);
    EXPECT_EQ(alpha, nullptr);
    EXPECT_FALSE(codec.ReadBitmapInfo(archive.Get(), &header));
}

}  // namespace
