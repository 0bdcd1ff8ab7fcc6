// Pictures for game code: DecodePicture gives one top-down RGB(A) buffer whatever the width,
// and the format's own call keeps its documented bitmap layout.

#include <gtest/gtest.h>

#include "tests/support/image_writers.h"
#include "tests/support/test_support.h"
#include "zok/build_archive.h"
#include "zok/zok_file.h"

using namespace zok;
using namespace zoktest;

namespace {

// Widths whose 24-bit rows need 0 to 3 bytes of padding, with and without alpha.
TEST(Pictures, DecodePictureGivesTopDownRgbOrRgbaForEveryWidth) {
    TempDir dir;
    std::vector<std::string> inputs;
    std::vector<RgbaImage> images;
    for (const int width : {1, 2, 3, 4, 33}) {
        for (const bool alpha : {false, true}) {
            images.push_back(PatternImage(width, 17, uint32_t(width), alpha));
            inputs.push_back(dir.File(std::to_string(width) + (alpha ? "a" : "") + ".png"));
            WriteFile(inputs.back(), MakePng(PngImageFromRgba(images.back(), alpha)));
        }
    }
    ASSERT_TRUE(BuildArchive(inputs, dir.File("p.zok"), nullptr));
    const CZokFile zok(dir.File("p.zok"));
    for (size_t i = 0; i < images.size(); ++i) {
        const RgbaImage& image = images[i];
        const bool alpha = i % 2 == 1;
        SCOPED_TRACE(zok.Record(i).name);
        Picture picture;
        ASSERT_FALSE(zok.DecodePictureAt(i, &picture));
        ASSERT_EQ(picture.width, uint32_t(image.width));
        ASSERT_EQ(picture.height, uint32_t(image.height));
        ASSERT_EQ(picture.channels, alpha ? 4u : 3u);
        ASSERT_EQ(picture.stride, size_t(image.width) * picture.channels);
        std::vector<uint8_t> expected;
        for (size_t p = 0; p < image.rgba.size(); p += 4) {
            expected.insert(expected.end(), image.rgba.begin() + long(p),
                            image.rgba.begin() + long(p + picture.channels));
        }
        EXPECT_EQ(picture.pixels, expected);

        // The format's call: BGR bottom-up, padded without alpha, packed with it; alpha
        // top-down.
        BITMAPINFOHEADER header;
        PixelBuffer plane;
        const PixelBuffer pixels = zok.DecodeEntryBitmapAt(i, &header, &plane);
        ASSERT_NE(pixels, nullptr);
        const std::vector<uint8_t> bgr = BottomUpBgr(image, !alpha);
        EXPECT_EQ(std::vector<uint8_t>(pixels.get(), pixels.get() + bgr.size()), bgr);
        ASSERT_EQ(plane != nullptr, alpha);
        if (alpha) {
            const std::vector<uint8_t> a = TopDownAlpha(image);
            EXPECT_EQ(std::vector<uint8_t>(plane.get(), plane.get() + a.size()), a);
        }
    }
    Picture none;
    EXPECT_EQ(zok.DecodePicture("missing.png", &none).code, ErrorCode::NoSuchEntry);
}

}  // namespace
