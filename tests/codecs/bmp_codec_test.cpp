#include <gtest/gtest.h>

#include <random>

#include "codecs/bmp_codec.h"
#include "codecs/png_codec.h"
#include "tests/support/image_writers.h"
#include "tests/support/test_support.h"

using namespace zok;

using namespace zoktest;

namespace {

// What the builder does: BMP codec in, PNG codec out.
Bitmap RoundTrip(const std::string& bmp) {
    CBmpCodec bmpCodec;
    CPngCodec pngCodec;
    const std::string entry = EncodeToEntry(bmpCodec, bmp);
    if (entry.empty()) {
        return Bitmap();
    }
    return DecodeEntry(pngCodec, entry, true);
}

// Encode returns 0 and leaves the archive stream where it was.
void ExpectRefused(const std::string& bmp) {
    CBmpCodec codec;
    EXPECT_EQ(EncodeToEntry(codec, bmp), "");
}

TEST(BmpCodec, EveryDepthAndOrientationGivesTheSourcePixels) {
    CBmpCodec codec;
    for (int bits : {1, 4, 8, 24}) {
        for (int width : {1, 2, 3, 5, 7, 8, 9, 15, 17, 33}) {
            SCOPED_TRACE(std::to_string(bits) + "-bit, width " + std::to_string(width));
            const int height = 3;
            std::string bottomUp, topDown;
            RgbaImage expected;
            if (bits == 24) {
                expected = PatternImage(width, height, uint32_t(width));
                bottomUp = MakeBmp24(expected);
                topDown = MakeBmp24(expected, {.topDown = true});
            } else {
                const IndexedImage image =
                    PatternIndexedImage(width, height, bits, uint32_t(width));
                expected = image.ToRgba();
                bottomUp = MakeBmpIndexed(image, bits);
                topDown = MakeBmpIndexed(image, bits, {.topDown = true});
            }
            const std::string entry = EncodeToEntry(codec, bottomUp);
            ASSERT_FALSE(entry.empty());
            EXPECT_EQ(EncodeToEntry(codec, topDown), entry);
            const PngHeader ihdr = ParsePngHeader(entry);
            EXPECT_EQ(ihdr.width, uint32_t(width));
            EXPECT_EQ(ihdr.height, uint32_t(height));
            EXPECT_EQ(ihdr.bitDepth, 8);
            EXPECT_EQ(ihdr.colourType, 2);
            EXPECT_EQ(ihdr.interlace, 0);
            EXPECT_EQ(PngChunkTypes(entry), (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));

            const Bitmap decoded = RoundTrip(bottomUp);
            ASSERT_TRUE(decoded.ok);
            EXPECT_FALSE(decoded.hasAlpha);
            EXPECT_EQ(decoded.pixels, BottomUpBgr(expected, true));
        }
    }
}

TEST(BmpCodec, PaletteSizeComesFromThePixelOffset) {
    // 1026 bytes after the info header: 256 entries, then 2 bytes skipped.
    const IndexedImage image = PatternIndexedImage(6, 4, 8, 11);
    Bitmap decoded = RoundTrip(MakeBmpIndexed(image, 8, {.gap = 2}));
    ASSERT_TRUE(decoded.ok);
    EXPECT_EQ(decoded.pixels, BottomUpBgr(image.ToRgba()));
    // biClrUsed 16 does not shorten a 1024-byte palette.
    decoded = RoundTrip(MakeBmpIndexed(image, 8, {.clrUsed = 16}));
    EXPECT_EQ(decoded.pixels, BottomUpBgr(image.ToRgba()));
    // 24-bit with extra bytes before the pixels.
    const RgbaImage rgb = PatternImage(5, 5, 12);
    decoded = RoundTrip(MakeBmp24(rgb, {.gap = 7}));
    EXPECT_EQ(decoded.pixels, BottomUpBgr(rgb));
}

TEST(BmpCodec, LongerInfoHeadersKeepTheirPaletteAfterTheWholeHeader) {
    for (uint32_t infoSize : {52u, 108u, 124u}) {
        SCOPED_TRACE(infoSize);
        const IndexedImage image = PatternIndexedImage(9, 3, 4, infoSize);
        const Bitmap decoded = RoundTrip(MakeBmpIndexed(image, 4, {.infoSize = infoSize}));
        ASSERT_TRUE(decoded.ok);
        EXPECT_EQ(decoded.pixels, BottomUpBgr(image.ToRgba()));
        const RgbaImage rgb = PatternImage(4, 4, infoSize);
        EXPECT_EQ(RoundTrip(MakeBmp24(rgb, {.infoSize = infoSize, .gap = 3})).pixels,
                  BottomUpBgr(rgb));
    }
}

TEST(BmpCodec, IndicesPastThePaletteAreBlack) {
    // A 1-bit picture with a single palette entry, and an 8-bit one with three.
    IndexedImage one = PatternIndexedImage(10, 2, 1, 4, 1);
    Bitmap decoded = RoundTrip(MakeBmpIndexed(one, 1));
    ASSERT_TRUE(decoded.ok);
    EXPECT_EQ(decoded.pixels, BottomUpBgr(one.ToRgba()));
    IndexedImage three = PatternIndexedImage(10, 2, 8, 5, 3);
    three.indices[0] = 255;
    decoded = RoundTrip(MakeBmpIndexed(three, 8));
    ASSERT_TRUE(decoded.ok);
    EXPECT_EQ(decoded.pixels, BottomUpBgr(three.ToRgba()));
    EXPECT_EQ(decoded.pixels[size_t(1) * 32], 0);  // top-left pixel lies in the second row
}

TEST(BmpCodec, UnsupportedOrDamagedBitmapsAreRefused) {
    const RgbaImage rgb = PatternImage(6, 4, 1);
    const std::string good24 = MakeBmp24(rgb);
    const IndexedImage pal = PatternIndexedImage(6, 4, 8, 2);
    const std::string good8 = MakeBmpIndexed(pal, 8);

    std::string notBm = good24;
    notBm[0] = 'X';
    ExpectRefused(notBm);
    ExpectRefused("");
    ExpectRefused(good24.substr(0, 53));
    // Pixel data cut short, 24-bit and palette.
    ExpectRefused(good24.substr(0, good24.size() - 1));
    ExpectRefused(good8.substr(0, good8.size() - 1));
    ExpectRefused(good8.substr(0, 54 + 1024 + 3));
    // Palette cut short.
    ExpectRefused(good8.substr(0, 54 + 100));
    // Compressed, bit-field and other depths.
    for (uint32_t compression : {1u, 2u, 3u}) {
        ExpectRefused(MakeBmpIndexed(pal, 8, {.compression = compression}));
    }
    const std::string rows16(size_t(12) * 4, '\0'), rows32(size_t(24) * 4, '\0');
    ExpectRefused(AssembleBmp(6, 4, 16, {}, "", rows16));
    ExpectRefused(AssembleBmp(6, 4, 32, {}, "", rows32));
    ExpectRefused(AssembleBmp(6, 4, 2, {}, std::string(16, '\x10'), rows16));
    // A palette depth with no palette entries, or fewer than 4 bytes of one.
    ExpectRefused(AssembleBmp(6, 4, 8, {}, "", std::string(size_t(8) * 4, '\0')));
    ExpectRefused(AssembleBmp(6, 4, 8, {.gap = 3}, "", std::string(size_t(8) * 4, '\0')));
    // Width not positive, height zero.
    ExpectRefused(AssembleBmp(0, 4, 24, {}, "", ""));
    ExpectRefused(AssembleBmp(-6, 4, 24, {}, "", std::string(size_t(20) * 4, '\0')));
    ExpectRefused(AssembleBmp(6, 0, 24, {}, "", ""));
    // The old 12-byte core header lays its fields out differently.
    ExpectRefused(AssembleBmp(6, 4, 24, {.infoSize = 12}, "", std::string(size_t(20) * 4, '\0')));
    // A pixel offset inside the headers.
    std::string inside = good24;
    inside[10] = 40;
    ExpectRefused(inside);
    // Huge claimed sizes with no data behind them: refused before any allocation.
    ExpectRefused(AssembleBmp(30000, 30000, 24, {}, "", ""));
    ExpectRefused(AssembleBmp(20000, 20000, 8, {}, std::string(1024, '\0'), ""));
    ExpectRefused(AssembleBmp(16, INT32_MIN, 24, {}, "", std::string(64, '\0')));
}

// Kind 1 entries hold a whole 24-bit bottom-up BMP file.
TEST(BmpCodec, ReadsStoredBitmapEntries) {
    CBmpCodec codec;
    const RgbaImage image = PatternImage(5, 3, 8);
    const std::string file = MakeBmp24(image, {.gapByte = 0});
    Bitmap stored = DecodeEntry(codec, file, true);
    ASSERT_TRUE(stored.ok);
    EXPECT_EQ(stored.header.biWidth, 5);
    EXPECT_EQ(stored.header.biHeight, 3);
    EXPECT_EQ(stored.header.biBitCount, 24);
    EXPECT_EQ(stored.pixels, BottomUpBgr(image));
    BITMAPINFOHEADER info;
    ASSERT_TRUE(ReadInfo(codec, file, &info));
    EXPECT_EQ(info.biWidth, 5);
    EXPECT_EQ(info.biSizeImage, 48u);
    EXPECT_FALSE(ReadInfo(codec, file.substr(0, 53), &info));

    // Not 24-bit, top-down, or rows past the end: null, never an overrun.
    EXPECT_FALSE(DecodeEntry(codec, MakeBmpIndexed(PatternIndexedImage(5, 3, 8), 8), false).ok);
    EXPECT_FALSE(DecodeEntry(codec, MakeBmp24(image, {.topDown = true}), false).ok);
    EXPECT_FALSE(DecodeEntry(codec, file.substr(0, file.size() - 1), false).ok);
    EXPECT_FALSE(DecodeEntry(codec, AssembleBmp(30000, 30000, 24, {}, "", ""), false).ok);
}

// Random damage to the headers and palette: the codec refuses or encodes, never crashes.
TEST(BmpCodec, DamagedHeadersAreRefusedOrEncoded) {
    CBmpCodec codec;
    std::mt19937 rng(3);
    const std::string sources[] = {
        MakeBmpIndexed(PatternIndexedImage(7, 5, 1), 1),
        MakeBmpIndexed(PatternIndexedImage(7, 5, 4), 4, {.topDown = true}),
        MakeBmpIndexed(PatternIndexedImage(7, 5, 8), 8, {.infoSize = 124}),
        MakeBmp24(PatternImage(7, 5)),
    };
    for (const std::string& source : sources) {
        for (int round = 0; round < 300; ++round) {
            std::string damaged = source;
            const size_t reach = std::min<size_t>(damaged.size(), 120);
            for (int flips = 1 + int(rng() % 3); flips > 0; --flips) {
                damaged[rng() % reach] ^= char(1 << (rng() % 8));
            }
            const std::string entry = EncodeToEntry(codec, damaged);
            if (!entry.empty()) {
                CPngCodec png;
                EXPECT_TRUE(DecodeEntry(png, entry, false).ok);
            }
        }
    }
}

}  // namespace
