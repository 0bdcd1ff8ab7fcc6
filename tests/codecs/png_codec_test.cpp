#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>

#include "codecs/png_codec.h"
#include "io/file_handle.h"
#include "tests/support/image_writers.h"
#include "tests/support/test_support.h"
#include "zok/zok_error.h"

using namespace zok;

using namespace zoktest;

namespace {

// A PNG chunk with its length and CRC.
std::string Chunk(const std::string& type, const std::string& data) {
    std::string out;
    const uint32_t length = uint32_t(data.size());
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(char(length >> shift));
    }
    out += type + data;
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type.data()), 4);
    crc = crc32(crc, reinterpret_cast<const Bytef*>(data.data()), uInt(data.size()));
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(char(crc >> shift));
    }
    return out;
}

std::string BigEndian32(uint32_t v) {
    return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}

// A valid-looking PNG that claims a huge picture but holds almost no image data.
std::string HostilePng(uint32_t width, uint32_t height, int colourType) {
    std::string ihdr = BigEndian32(width) + BigEndian32(height);
    ihdr += {char(8), char(colourType), 0, 0, 0};
    const std::string idat("\x78\x9c\x63\x00\x00\x00\x01\x00\x01", 9);
    return std::string("\x89PNG\r\n\x1a\n", 8) + Chunk("IHDR", ihdr) + Chunk("IDAT", idat) +
           Chunk("IEND", "");
}

struct Variant {
    int colourType;
    int bitDepth;
    bool transparency;
};

std::vector<Variant> AllVariants() {
    std::vector<Variant> out;
    const std::pair<int, std::vector<int>> kinds[] = {{kPngGrey, {1, 2, 4, 8, 16}},
                                                      {kPngRgb, {8, 16}},
                                                      {kPngPalette, {1, 2, 4, 8}},
                                                      {kPngGreyAlpha, {8, 16}},
                                                      {kPngRgba, {8, 16}}};
    for (const auto& [type, depths] : kinds) {
        for (int depth : depths) {
            out.push_back({type, depth, false});
            if ((type & 4) == 0) {
                out.push_back({type, depth, true});
            }
        }
    }
    return out;
}

// Every colour type, depth and transparency, plain and interlaced, becomes an 8-bit RGB(A)
// entry with only IHDR, IDAT and IEND, and decodes to the source's pixels.
TEST(PngCodec, EveryInputFormatBecomesAUniformEntryWithTheSamePixels) {
    CPngCodec codec;
    for (const Variant& v : AllVariants()) {
        for (bool interlaced : {false, true}) {
            SCOPED_TRACE("colour type " + std::to_string(v.colourType) + " depth " +
                         std::to_string(v.bitDepth) + (v.transparency ? " tRNS" : "") +
                         (interlaced ? " interlaced" : ""));
            const PngImage source =
                PatternPngImage(7, 5, v.colourType, v.bitDepth, 3, v.transparency);
            const std::string file = MakePng(source, {interlaced, interlaced});
            if (interlaced) {
                const std::vector<std::string> sourceChunks = PngChunkTypes(file);
                ASSERT_NE(std::find(sourceChunks.begin(), sourceChunks.end(), "tEXt"),
                          sourceChunks.end());
            }
            const std::string entry = EncodeToEntry(codec, file);

            const PngHeader ihdr = ParsePngHeader(entry);
            EXPECT_EQ(ihdr.bitDepth, 8);
            EXPECT_EQ(ihdr.colourType, source.HasAlpha() ? 6 : 2);
            EXPECT_EQ(ihdr.interlace, 0);
            EXPECT_EQ(ihdr.width, 7u);
            EXPECT_EQ(ihdr.height, 5u);
            for (const std::string& type : PngChunkTypes(entry)) {
                EXPECT_TRUE(type == "IHDR" || type == "IDAT" || type == "IEND") << type;
            }
            EXPECT_EQ(PngChunkTypes(entry).back(), "IEND");

            const RgbaImage expected = source.ToRgba();
            const Bitmap withAlpha = DecodeEntry(codec, entry, true);
            ASSERT_TRUE(withAlpha.ok);
            EXPECT_EQ(withAlpha.pixels, BottomUpBgr(expected, !source.HasAlpha()));
            EXPECT_EQ(withAlpha.hasAlpha, source.HasAlpha());
            if (source.HasAlpha()) {
                EXPECT_EQ(withAlpha.alpha, TopDownAlpha(expected));
            }
            const Bitmap opaque = DecodeEntry(codec, entry, false);
            ASSERT_TRUE(opaque.ok);
            EXPECT_EQ(opaque.pixels, BottomUpBgr(expected, true));

            // The source file itself decodes to the same bitmap form.
            const Bitmap direct = DecodeFile(file, true);
            ASSERT_TRUE(direct.ok);
            EXPECT_EQ(direct.pixels, withAlpha.pixels);
            EXPECT_EQ(direct.alpha, withAlpha.alpha);
            EXPECT_EQ(DecodeFile(file, false).pixels, opaque.pixels);
            // So does the source given straight to DecodeBitmap.
            EXPECT_EQ(DecodeEntry(codec, file, true).pixels, withAlpha.pixels);
        }
    }
}

TEST(PngCodec, BitmapHeaderAndRowLayout) {
    CPngCodec codec;
    // Width 5 with alpha: unpadded rows of 15 bytes, bottom row first; alpha plane top-down.
    const RgbaImage image = PatternImage(5, 3, 9, true);
    const std::string rgbaEntry = EncodeToEntry(codec, MakePng(PngImageFromRgba(image, true)));
    const Bitmap packed = DecodeEntry(codec, rgbaEntry, true);
    ASSERT_TRUE(packed.ok);
    EXPECT_EQ(packed.header.biSize, 40u);
    EXPECT_EQ(packed.header.biWidth, 5);
    EXPECT_EQ(packed.header.biHeight, 3);
    EXPECT_EQ(packed.header.biPlanes, 1);
    EXPECT_EQ(packed.header.biBitCount, 24);
    EXPECT_EQ(packed.header.biCompression, 0u);
    EXPECT_EQ(packed.header.biSizeImage, 15u * 3);
    EXPECT_EQ(packed.pixels.size(), 45u);
    EXPECT_EQ(packed.pixels[0], image.At(0, 2)[2]);  // blue of the bottom-left pixel
    EXPECT_EQ(packed.alpha[0], image.At(0, 0)[3]);   // alpha of the top-left pixel
    // Without an alpha pointer: padded rows of 16 bytes, alpha dropped.
    const Bitmap padded = DecodeEntry(codec, rgbaEntry, false);
    EXPECT_EQ(padded.header.biSizeImage, 16u * 3);
    EXPECT_EQ(padded.pixels, BottomUpBgr(image, true));
    // The header alone always describes the padded layout.
    BITMAPINFOHEADER info;
    ASSERT_TRUE(ReadInfo(codec, rgbaEntry, &info));
    EXPECT_EQ(info.biWidth, 5);
    EXPECT_EQ(info.biHeight, 3);
    EXPECT_EQ(info.biSizeImage, 16u * 3);
    EXPECT_EQ(info.biBitCount, 24);

    // One pixel wide: stride 4 with a zero pad byte, and an RGB entry clears the alpha pointer.
    const RgbaImage thin = PatternImage(1, 4, 2);
    const std::string rgbEntry = EncodeToEntry(codec, MakePng(PngImageFromRgba(thin, false)));
    const Bitmap narrow = DecodeEntry(codec, rgbEntry, true);
    ASSERT_TRUE(narrow.ok);
    EXPECT_FALSE(narrow.hasAlpha);
    EXPECT_EQ(narrow.header.biSizeImage, 16u);
    EXPECT_EQ(narrow.pixels, BottomUpBgr(thin, true));
    for (size_t row = 0; row < 4; ++row) {
        EXPECT_EQ(narrow.pixels[row * 4 + 3], 0);
    }
}

TEST(PngCodec, EncodeWritesAtTheArchivePositionAndReportsItsLength) {
    CPngCodec codec;
    const std::string file = MakePng(PngImageFromRgba(PatternImage(9, 9, 4), false));
    FileHandle input = TempStream(file);
    FileHandle archive = TempStream("prefix");
    std::fseek(archive.Get(), 0, SEEK_END);
    const int32_t stored = codec.Encode(input.Get(), archive.Get());
    ASSERT_GT(stored, 0);
    EXPECT_EQ(std::ftell(archive.Get()), 6 + stored);
}

TEST(PngCodec, BrokenInputsRaiseTheirMessages) {
    CPngCodec codec;
    const std::string good = MakePng(PngImageFromRgba(PatternImage(40, 40, 5), false));
    const std::string notPng = "GIF89a and some more bytes";
    EXPECT_EQ(EncodeError(codec, notPng), "Not a PNG");
    EXPECT_EQ(EncodeError(codec, ""), "Not a PNG");
    EXPECT_EQ(DecodeError(notPng), "Not a PNG");

    // Cut inside the image data.
    const size_t idat = good.find("IDAT");
    ASSERT_NE(idat, std::string::npos);
    const std::string cut = good.substr(0, idat + 20);
    EXPECT_EQ(EncodeError(codec, cut), "error");
    EXPECT_EQ(DecodeError(cut), "error");
    // A damaged CRC in the header.
    std::string badCrc = good;
    badCrc[29] ^= 0x55;
    EXPECT_EQ(EncodeError(codec, badCrc), "error");

    // Huge claimed sizes are refused before any allocation: past 2 GiB, or far more pixels
    // than the file's data could inflate to.
    EXPECT_EQ(EncodeError(codec, HostilePng(1000000, 1000000, 6)), "error");
    EXPECT_EQ(EncodeError(codec, HostilePng(30000, 30000, 2)), "error");
    EXPECT_EQ(EncodeError(codec, HostilePng(20000, 20000, 0)), "error");
    EXPECT_EQ(DecodeError(HostilePng(20000, 20000, 0)), "error");

    // ReadBitmapInfo never raises.
    BITMAPINFOHEADER info;
    EXPECT_FALSE(ReadInfo(codec, notPng, &info));
    EXPECT_FALSE(ReadInfo(codec, "", &info));
    EXPECT_FALSE(ReadInfo(codec, good.substr(0, 20), &info));
    EXPECT_FALSE(ReadInfo(codec, HostilePng(1000000, 1000000, 2), &info));
}

// Recomputes every chunk's CRC, so that damage reaches the decoder instead of the CRC check.
std::string FixCrcs(std::string png) {
    size_t pos = 8;
    while (pos + 12 <= png.size()) {
        const uint32_t length =
            uint32_t(uint8_t(png[pos])) << 24 | uint32_t(uint8_t(png[pos + 1])) << 16 |
            uint32_t(uint8_t(png[pos + 2])) << 8 | uint32_t(uint8_t(png[pos + 3]));
        if (length > png.size() - pos - 12) {
            break;
        }
        const uLong crc =
            crc32(0, reinterpret_cast<const Bytef*>(png.data() + pos + 4), uInt(length + 4));
        for (int i = 0; i < 4; ++i) {
            png[pos + 8 + length + size_t(i)] = char(crc >> (24 - 8 * i));
        }
        pos += 12 + size_t(length);
    }
    return png;
}

// Damaged streams, CRCs made right, either decode or raise "error": never a crash, an
// overrun or a leak (the sanitizer build checks the latter two).
TEST(PngCodec, DamagedStreamsDecodeOrRaise) {
    CPngCodec codec;
    std::mt19937 rng(7);
    const std::string sources[] = {
        MakePng(PatternPngImage(11, 6, kPngPalette, 4, 1, true), {.interlaced = true}),
        MakePng(PatternPngImage(9, 5, kPngGrey, 2, 2, true)),
        MakePng(PatternPngImage(7, 7, kPngRgba, 16, 3)),
    };
    for (const std::string& source : sources) {
        for (int round = 0; round < 150; ++round) {
            std::string damaged = source;
            for (int flips = 1 + int(rng() % 3); flips > 0; --flips) {
                damaged[8 + rng() % (damaged.size() - 8)] ^= char(1 << (rng() % 8));
            }
            damaged = FixCrcs(damaged);
            for (bool wantAlpha : {false, true}) {
                try {
                    (void)DecodeEntry(codec, damaged, wantAlpha);
                } catch (const ZokError& e) {
                    EXPECT_STREQ(e.what(), "error");
                }
            }
            const std::string message = EncodeError(codec, damaged);
            EXPECT_TRUE(message.empty() || message == "error") << message;
        }
    }
}

}  // namespace
