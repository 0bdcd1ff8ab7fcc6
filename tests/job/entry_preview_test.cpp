#include "job/entry_preview.h"

#include <gtest/gtest.h>

#include "io/names.h"
#include "tests/archive/handmade_archive.h"
#include "tests/support/image_writers.h"
#include "zok/build_archive.h"
#include "zok/zok_file.h"

using namespace zok;

namespace {

using zoktest::HandEntry;
using zoktest::RgbaImage;

// The image's pixels every step-th row and column, as DecodePicturePreview gives them.
std::vector<uint8_t> Sampled(const RgbaImage& image, int step, bool withAlpha) {
    std::vector<uint8_t> out;
    for (int y = 0; y < image.height; y += step) {
        for (int x = 0; x < image.width; x += step) {
            const uint8_t* p = image.At(x, y);
            out.insert(out.end(), {p[0], p[1], p[2], withAlpha ? p[3] : uint8_t(255)});
        }
    }
    return out;
}

TEST(PicturePreview, EveryLayoutOfTheBitmapFormComesOutTopDownRgba) {
    zoktest::TempDir dir;
    // An odd width: rows of 15 bytes, padded to 16 without alpha and packed with it.
    const RgbaImage image = zoktest::PatternImage(5, 3, 11, true);
    const std::vector<std::pair<std::string, std::string>> inputs = {
        {"alpha.png", zoktest::MakePng(zoktest::PngImageFromRgba(image, true))},
        {"opaque.png", zoktest::MakePng(zoktest::PngImageFromRgba(image, false))},
        {"picture.bmp", zoktest::MakeBmp24(image)},
    };
    std::vector<std::string> paths;
    for (const auto& [name, bytes] : inputs) {
        paths.push_back(dir.File(name));
        zoktest::WriteFile(paths.back(), bytes);
    }
    ASSERT_TRUE(BuildArchive(paths, dir.File("p.zok"), nullptr));
    // A BMP file kept as it is (kind 1), as old archives hold them.
    zoktest::WriteFile(dir.File("old.zok"),
                       zoktest::MakeArchive({HandEntry("kept.bmp", inputs[2].second, 1)}));
    CZokFile built(dir.File("p.zok"));
    CZokFile old(dir.File("old.zok"));

    const struct {
        const CZokFile& zok;
        size_t index;
        bool alpha;
    } rows[] = {{built, 0, true}, {built, 1, false}, {built, 2, false}, {old, 0, false}};
    for (const auto& row : rows) {
        const PicturePreview preview = DecodePicturePreview(row.zok, row.index);
        EXPECT_EQ(preview.problem, "") << row.index;
        EXPECT_EQ(preview.width, 5);
        EXPECT_EQ(preview.height, 3);
        EXPECT_EQ(preview.hasAlpha, row.alpha);
        EXPECT_EQ(preview.sampledWidth, 5);
        EXPECT_EQ(preview.rgba, Sampled(image, 1, row.alpha)) << row.index;
    }
    // Large pictures are sampled down: every third pixel fits 2 pixels a side.
    const PicturePreview small = DecodePicturePreview(built, 0, 2);
    EXPECT_EQ(small.width, 5);
    EXPECT_EQ(small.sampledWidth, 2);
    EXPECT_EQ(small.sampledHeight, 1);
    EXPECT_EQ(small.rgba, Sampled(image, 3, true));
}

TEST(TextPreview, ShowsTheFirstLinesOfUtf8AndCodePageText) {
    zoktest::TempDir dir;
    const std::string korean = "첫째 줄\r\n둘째\t줄\n셋째 줄\n";
    const std::string cp949 = *Utf8ToCp949(korean);
    zoktest::WriteFile(dir.File("t.zok"), zoktest::MakeArchive({
                                              zoktest::DeflatedEntry("utf8.txt", korean),
                                              zoktest::DeflatedEntry("cp949.txt", cp949),
                                              HandEntry("ctrl.old", "a\x1b[31mb\n"),
                                              HandEntry("binary.old", std::string("MZ\0\0", 4)),
                                              HandEntry("broken.txt", "not deflate", 3, 100),
                                          }));
    CZokFile zok(dir.File("t.zok"));
    const struct {
        size_t index;
        size_t maxBytes, maxLines;
        const char* text;
        bool more;
    } rows[] = {
        {0, 4096, 40, "첫째 줄\n둘째\t줄\n셋째 줄", false},
        {1, 4096, 40, "첫째 줄\n둘째\t줄\n셋째 줄", false},
        {0, 4096, 2, "첫째 줄\n둘째\t줄", true},
        // Cut inside a character: UTF-8 "줄" after 8 bytes, CP949 "줄" after 6.
        {0, 9, 40, "첫째 ", true},
        {1, 6, 40, "첫째 ", true},
        {2, 4096, 40, "a\\x1B[31mb", false},
    };
    for (const auto& row : rows) {
        const TextPreview preview = ReadTextPreview(zok, row.index, row.maxBytes, row.maxLines);
        EXPECT_EQ(preview.text, row.text) << row.index << " " << row.maxBytes;
        EXPECT_EQ(preview.more, row.more) << row.index << " " << row.maxBytes;
        EXPECT_FALSE(preview.binary);
        EXPECT_EQ(preview.problem, "");
    }
    EXPECT_TRUE(ReadTextPreview(zok, 3).binary);
    EXPECT_EQ(ReadTextPreview(zok, 4).problem, "압축된 데이터가 손상되었습니다");
}

}  // namespace
