#include "codecs/stored_codec.h"

#include <gtest/gtest.h>

#include "io/file_handle.h"
#include "io/little_endian.h"
#include "tests/support/test_support.h"

using namespace zok;

using namespace zoktest;

namespace {

FileHandle StreamWith(const std::string& bytes) {
    FileHandle f(std::tmpfile());
    std::fwrite(bytes.data(), 1, bytes.size(), f.Get());
    std::rewind(f.Get());
    return f;
}

std::string ReadBack(FILE* f, long from) {
    std::fseek(f, 0, SEEK_END);
    const long end = std::ftell(f);
    std::string out(size_t(end - from), '\0');
    std::fseek(f, from, SEEK_SET);
    EXPECT_EQ(std::fread(out.data(), 1, out.size(), f), out.size());
    return out;
}

TEST(StoredCodec, CopiesBytesUnchangedAcrossBlockEdges) {
    CStoredCodec codec;
    for (size_t size : {size_t(0), size_t(1), size_t(4095), size_t(4096), size_t(4097),
                        size_t(3 * 4096), size_t(100000)}) {
        const std::string data = RandomBytes(size, uint32_t(size));
        FileHandle input = StreamWith(data);
        FileHandle archive(std::tmpfile());
        std::fputs("HDR", archive.Get());
        EXPECT_EQ(codec.Encode(input.Get(), archive.Get()), int32_t(size));
        EXPECT_EQ(ReadBack(archive.Get(), 3), data) << size;
    }
}

// A stored BMP file: 14-byte file header, 40-byte info header, rows.
std::string StoredBmp(int32_t width, int32_t height, uint16_t bits, size_t rowBytes) {
    std::string f = "BM";
    zoktest::AppendU32(f, 0);
    zoktest::AppendU32(f, 0);
    zoktest::AppendU32(f, 54);
    uint8_t info[40] = {};
    PutU32(info, 40);
    PutU32(info + 4, uint32_t(width));
    PutU32(info + 8, uint32_t(height));
    PutU16(info + 12, 1);
    PutU16(info + 14, bits);
    PutU32(info + 20, 0x7FFFFFFF);  // biSizeImage, untrusted
    f.append(reinterpret_cast<char*>(info), 40);
    f += RandomBytes(rowBytes, 4);
    return f;
}

TEST(StoredCodec, ReadsStored24BitBitmapsAndRefusesOthers) {
    CStoredCodec codec;
    // Width 5: stride 16, height 3.
    const std::string good = StoredBmp(5, 3, 24, 48);
    FileHandle archive = StreamWith(good);
    BITMAPINFOHEADER header;
    ASSERT_TRUE(codec.ReadBitmapInfo(archive.Get(), &header));
    EXPECT_EQ(header.biWidth, 5);
    EXPECT_EQ(header.biHeight, 3);
    std::rewind(archive.Get());
    PixelBuffer alpha;
    PixelBuffer pixels = codec.DecodeBitmap(archive.Get(), &header, &alpha);
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(pixels.get()), 48), good.substr(54));
    // Whatever the file stored there, biSizeImage tells the size of the buffer returned.
    EXPECT_EQ(header.biSizeImage, 48u);

    for (const std::string& bad : {StoredBmp(5, 3, 24, 47),   // rows cut short
                                   StoredBmp(5, -3, 24, 48),  // top-down
                                   StoredBmp(5, 3, 8, 48),    // not 24-bit
                                   StoredBmp(0, 3, 24, 48), StoredBmp(5, 0, 24, 48),
                                   StoredBmp(0x7FFFFFFF, 0x7FFFFFFF, 24, 16)}) {
        FileHandle f = StreamWith(bad);
        EXPECT_EQ(codec.DecodeBitmap(f.Get(), &header, nullptr), nullptr);
    }
    FileHandle tiny = StreamWith(good.substr(0, 30));
    EXPECT_FALSE(codec.ReadBitmapInfo(tiny.Get(), &header));
}

}  // namespace
