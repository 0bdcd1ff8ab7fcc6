#include <gtest/gtest.h>

#include <filesystem>

#include "codecs/bmp_codec.h"
#include "codecs/png_codec.h"
#include "tests/support/image_writers.h"
#include "tests/support/test_support.h"

using namespace zok;

using namespace zoktest;

namespace {

std::string SuiteDir() {
    const std::string root = TestDataDir();
    const std::string dir = root.empty() ? root : root + "/bmpsuite";
    return !dir.empty() && std::filesystem::is_directory(dir) ? dir : std::string();
}

// Uncompressed 1-, 4-, 8- and 24-bit bitmaps of the suite and the pictures they show.
const std::pair<const char*, const char*> kReferences[] = {
    {"g/pal1.bmp", "pal1.png"},           {"g/pal1wb.bmp", "pal1.png"},
    {"g/pal1bg.bmp", "pal1bg.png"},       {"g/pal4.bmp", "pal4.png"},
    {"g/pal4gs.bmp", "pal4gs.png"},       {"g/pal8.bmp", "pal8.png"},
    {"g/pal8-0.bmp", "pal8.png"},         {"g/pal8gs.bmp", "pal8gs.png"},
    {"g/pal8w124.bmp", "pal8w124.png"},   {"g/pal8w125.bmp", "pal8w125.png"},
    {"g/pal8w126.bmp", "pal8w126.png"},   {"g/pal8topdown.bmp", "pal8.png"},
    {"g/pal8v4.bmp", "pal8.png"},         {"g/pal8v5.bmp", "pal8.png"},
    {"g/rgb24.bmp", "rgb24.png"},         {"g/rgb24pal.bmp", "rgb24.png"},
    {"q/pal8offs.bmp", "pal8.png"},       {"q/pal8oversizepal.bmp", "pal8.png"},
    {"q/rgb24largepal.bmp", "rgb24.png"}, {"q/pal1p1.bmp", "pal1p1.png"},
};

TEST(BmpSuite, SupportedBitmapsShowTheirReferencePictures) {
    const std::string dir = SuiteDir();
    if (dir.empty()) {
        GTEST_SKIP() << "no BMP suite in " ZOK_TESTDATA_DIR "/bmpsuite (README: Test data)";
    }
    CBmpCodec bmpCodec;
    CPngCodec pngCodec;
    for (const auto& [bmp, png] : kReferences) {
        SCOPED_TRACE(bmp);
        const std::string entry = EncodeToEntry(bmpCodec, ReadFile(dir + "/" + bmp));
        ASSERT_FALSE(entry.empty());
        const Bitmap decoded = DecodeEntry(pngCodec, entry, false);
        const Bitmap reference = DecodeFile(ReadFile(dir + "/html/" + png), false);
        ASSERT_TRUE(decoded.ok);
        ASSERT_TRUE(reference.ok);
        EXPECT_EQ(decoded.header.biWidth, reference.header.biWidth);
        EXPECT_EQ(decoded.header.biHeight, reference.header.biHeight);
        EXPECT_TRUE(decoded.pixels == reference.pixels);
    }
}

// Every file of the suite, good, questionable or bad, is either refused with 0 or gives an
// entry that decodes; none crashes or overruns.
TEST(BmpSuite, EveryFileIsRefusedOrDecodable) {
    const std::string dir = SuiteDir();
    if (dir.empty()) {
        GTEST_SKIP() << "no BMP suite in " ZOK_TESTDATA_DIR "/bmpsuite (README: Test data)";
    }
    CBmpCodec bmpCodec;
    CPngCodec pngCodec;
    int encoded = 0, refused = 0;
    for (const char* folder : {"g", "q", "b", "x"}) {
        for (const auto& item : std::filesystem::directory_iterator(dir + "/" + folder)) {
            SCOPED_TRACE(item.path().string());
            const std::string entry = EncodeToEntry(bmpCodec, ReadFile(item.path().string()));
            if (entry.empty()) {
                ++refused;
                continue;
            }
            ++encoded;
            EXPECT_TRUE(DecodeEntry(pngCodec, entry, true).ok);
        }
    }
    EXPECT_GE(encoded, int(std::size(kReferences)));
    EXPECT_GT(refused, 30);
}

}  // namespace
