#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "codecs/png_codec.h"
#include "tests/support/image_writers.h"
#include "tests/support/test_support.h"

using namespace zok;

using namespace zoktest;

namespace {

std::vector<std::filesystem::path> SuiteFiles() {
    std::vector<std::filesystem::path> files;
    const std::string root = TestDataDir();
    if (root.empty() || !std::filesystem::is_directory(root + "/pngsuite")) {
        return files;
    }
    for (const auto& item : std::filesystem::directory_iterator(root + "/pngsuite")) {
        if (item.path().extension() == ".png") {
            files.push_back(item.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Broken pictures (names starting with "x") raise one of the codec's messages everywhere;
// every other picture re-encodes to an entry that decodes to what the file itself decodes to.
TEST(PngSuite, EveryPictureEncodesAndDecodesLikeTheFile) {
    const std::vector<std::filesystem::path> files = SuiteFiles();
    if (files.empty()) {
        GTEST_SKIP() << "no PngSuite pictures in " ZOK_TESTDATA_DIR "/pngsuite (README: Test data)";
    }
    CPngCodec codec;
    int good = 0, broken = 0;
    for (const auto& path : files) {
        SCOPED_TRACE(path.filename().string());
        const std::string file = ReadFile(path.string());
        BITMAPINFOHEADER info;
        if (path.filename().string()[0] == 'x') {
            ++broken;
            const std::string encodeError = EncodeError(codec, file);
            EXPECT_TRUE(encodeError == "Not a PNG" || encodeError == "error") << encodeError;
            EXPECT_EQ(DecodeError(file), encodeError);
            for (bool wantAlpha : {false, true}) {
                try {
                    EXPECT_FALSE(DecodeEntry(codec, file, wantAlpha).ok);
                } catch (const std::exception& e) {
                    EXPECT_EQ(e.what(), encodeError);
                }
            }
            (void)ReadInfo(codec, file, &info);
            continue;
        }
        ++good;
        const std::string entry = EncodeToEntry(codec, file);
        ASSERT_FALSE(entry.empty());
        const PngHeader ihdr = ParsePngHeader(entry);
        EXPECT_EQ(ihdr.bitDepth, 8);
        EXPECT_TRUE(ihdr.colourType == 2 || ihdr.colourType == 6);
        EXPECT_EQ(ihdr.interlace, 0);
        for (bool wantAlpha : {false, true}) {
            const Bitmap fromEntry = DecodeEntry(codec, entry, wantAlpha);
            const Bitmap fromFile = DecodeFile(file, wantAlpha);
            ASSERT_TRUE(fromEntry.ok);
            ASSERT_TRUE(fromFile.ok);
            EXPECT_EQ(fromEntry.header.biSizeImage, fromFile.header.biSizeImage);
            EXPECT_EQ(fromEntry.pixels, fromFile.pixels);
            EXPECT_EQ(fromEntry.hasAlpha, fromFile.hasAlpha);
            EXPECT_EQ(fromEntry.alpha, fromFile.alpha);
            EXPECT_EQ(fromEntry.hasAlpha, wantAlpha && ihdr.colourType == 6);
        }
        ASSERT_TRUE(ReadInfo(codec, entry, &info));
        EXPECT_EQ(uint32_t(info.biWidth), ihdr.width);
        EXPECT_EQ(uint32_t(info.biHeight), ihdr.height);
    }
    EXPECT_GT(good, 100);
    EXPECT_GT(broken, 10);
}

}  // namespace
