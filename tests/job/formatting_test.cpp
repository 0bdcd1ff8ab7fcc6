#include "job/formatting.h"

#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <string>

#include "io/names.h"

using namespace zok;

namespace {

TEST(FormatNumber, GroupsThreeDigitsWithCommas) {
    struct Row {
        uint32_t value;
        const char* text;
    };
    for (const Row& row :
         {Row{0, "0"}, Row{7, "7"}, Row{999, "999"}, Row{1000, "1,000"}, Row{1005, "1,005"},
          Row{65536, "65,536"}, Row{4294967295u, "4,294,967,295"}, Row{1000000, "1,000,000"},
          Row{1000001, "1,000,001"}, Row{100010, "100,010"}, Row{12345, "12,345"},
          Row{999999, "999,999"}}) {
        EXPECT_EQ(FormatNumber(row.value), row.text) << row.value;
    }
}

const char kWindowsPath[] = "D:\\Data\\Projects\\Images\\2002\\March\\summer_photo.bmp";

TEST(ShortenPath, ReproducesTheWindowsExamples) {
    ASSERT_EQ(std::string(kWindowsPath).size(), 51u);
    struct Row {
        uint32_t width;
        const char* text;
    };
    for (const Row& row : {Row{50, kWindowsPath}, Row{48, kWindowsPath},
                           Row{47, "D:\\Data\\Projects\\...\\2002\\March\\summer_photo.bmp"},
                           Row{30, "D:\\...\\March\\summer_photo.bmp"},
                           Row{20, "D:\\...\\summer_photo.bmp"}, Row{10, "..."}}) {
        EXPECT_EQ(ShortenPath(kWindowsPath, row.width, '\\'), row.text) << row.width;
    }
}

TEST(ShortenPath, LinuxPathsUseTheSlashAndTreatBackslashAsAFileNameByte) {
    const std::string path = "/home/user/projects/images/2002/march/summer_photo.bmp";
    EXPECT_EQ(path.size(), 54u);
    EXPECT_EQ(ShortenPath(path, 51), path);
    // Right first: "/summer_photo.bmp" (17), then the empty first component "/" (1), then
    // "/march" (6), "home/" (5), "/2002" (5), "user/" (5), "/images" would pass 45.
    EXPECT_EQ(ShortenPath(path, 45), "/home/user/.../2002/march/summer_photo.bmp");
    EXPECT_EQ(ShortenPath(path, 24), "/.../march/summer_photo.bmp");
    EXPECT_EQ(ShortenPath(path, 18), "/.../summer_photo.bmp");
    EXPECT_EQ(ShortenPath(path, 17), ".../summer_photo.bmp");
    EXPECT_EQ(ShortenPath(path, 16), "...");

    // On Linux a backslash is an ordinary byte: a Windows-looking path has no separator.
    EXPECT_EQ(ShortenPath(kWindowsPath, 30), "...");
}

TEST(ShortenPath, LeavesPathsUpToWidthPlusThreeAndShortensOneByteMore) {
    const std::string path = "/aa/bb/cc/dd/ee";  // 15 bytes
    EXPECT_EQ(ShortenPath(path, 12), path);
    EXPECT_EQ(ShortenPath(path, 11), "/aa/.../dd/ee");
    EXPECT_EQ(ShortenPath("", 0), "");
    EXPECT_EQ(ShortenPath("abc", 0), "abc");
    EXPECT_EQ(ShortenPath("/abc", 0), "...");

    // No separator at all: nothing can be kept.
    EXPECT_EQ(ShortenPath(std::string(40, 'x'), 10), "...");
    EXPECT_EQ(ShortenPath(std::string(13, 'x'), 10), std::string(13, 'x'));
    EXPECT_EQ(ShortenPath(std::string(14, 'x'), 10), "...");

    // Width near the top of the range: nothing overflows, the path stays.
    EXPECT_EQ(ShortenPath(path, UINT32_MAX), path);
}

// Korean paths are measured as CP949 bytes, two a syllable, though they stay UTF-8.
TEST(ShortenPath, CountsEveryNonAsciiCharacterAsTwoBytesOfTheCodePage) {
    // 37 bytes in CP949, 51 in UTF-8.
    const std::string path = "/자료/사진/이천이년/삼월/여름사진.bmp";
    ASSERT_EQ(Utf8ToCp949(path)->size(), 37u);
    struct Row {
        uint32_t width;
        const char* text;
    };
    for (const Row& row :
         {// Whole up to 37 = width + 3; counted in UTF-8 it would be cut.
          Row{34, "/자료/사진/이천이년/삼월/여름사진.bmp"},
          // "/이천이년" is 9 bytes: 13 + 1 + 5 + 5 + 9 = 33 just fits.
          Row{33, "/자료/.../이천이년/삼월/여름사진.bmp"}, Row{32, "/자료/.../삼월/여름사진.bmp"},
          // "/여름사진.bmp" is 13 bytes, the 17 of UTF-8 would leave "...".
          Row{13, ".../여름사진.bmp"}, Row{12, "..."}}) {
        EXPECT_EQ(ShortenPath(path, row.width), row.text) << row.width;
    }
    // A name that is no UTF-8 (Latin-1 "ÉÀÈ"): each of its bytes is a character of its own.
    const std::string latin1 = "/ab/\xC9\xC0\xC8";
    EXPECT_EQ(ShortenPath(latin1, 7), latin1);
    EXPECT_EQ(ShortenPath(latin1, 6), "...");
}

// Shortened results are head + "..." + tail with head a prefix ending in the separator and
// tail a suffix starting with it, at most width + 3 bytes in all.
TEST(ShortenPath, NeverExceedsWidthPlusThreeAndKeepsWholeComponents) {
    // No dots in the names, so the one "..." in a result is the cut.
    std::mt19937 random(20021);
    const std::string alphabet[] = {"a", "B", "7", "_", "-", " ", "가", "힣", "Ω", "\\"};
    for (int round = 0; round < 5000; ++round) {
        const char separator = round % 2 == 0 ? '/' : '\\';
        std::string path;
        const int components = int(random() % 12);
        if (random() % 2 == 0) {
            path += separator;
        }
        for (int c = 0; c < components; ++c) {
            const int length = int(random() % 15);
            for (int i = 0; i < length; ++i) {
                path += alphabet[random() % std::size(alphabet)];
            }
            if (c + 1 < components || random() % 4 == 0) {
                path += separator;
            }
        }
        const uint32_t width = uint32_t(random() % 70);
        const std::string result = ShortenPath(path, width, separator);
        SCOPED_TRACE("path '" + path + "' width " + std::to_string(width));

        // Widths as the code page counts them.
        const auto cp949 = [](const std::string& text) { return Utf8ToCp949(text)->size(); };
        ASSERT_LE(cp949(result), size_t(width) + 3);
        if (cp949(path) <= size_t(width) + 3) {
            EXPECT_EQ(result, path);
            continue;
        }
        const size_t dots = result.find("...");
        ASSERT_NE(dots, std::string::npos);
        const std::string head = result.substr(0, dots);
        const std::string tailPart = result.substr(dots + 3);
        EXPECT_LE(cp949(head) + cp949(tailPart), size_t(width));
        EXPECT_EQ(path.compare(0, head.size(), head), 0);
        ASSERT_LE(tailPart.size(), path.size());
        EXPECT_EQ(path.compare(path.size() - tailPart.size(), tailPart.size(), tailPart), 0);
        EXPECT_TRUE(head.empty() || head.back() == separator);
        EXPECT_TRUE(tailPart.empty() || tailPart.front() == separator);
        EXPECT_LT(head.size() + tailPart.size(), path.size());
    }
}

// Names reach windows and terminals through here: every control byte is shown as \xNN and
// nothing else changes, Korean text and bytes that are no UTF-8 included.
TEST(PrintableText, ShowsControlBytesAsHexAndKeepsEverythingElse) {
    struct Row {
        std::string text;
        const char* shown;
    };
    for (const Row& row : {Row{std::string("\0", 1), "\\x00"}, Row{"\x1F", "\\x1F"},
                           Row{" ~", " ~"}, Row{"\x7F", "\\x7F"}, Row{"a\x1b[2J", "a\\x1B[2J"},
                           Row{"한글\n", "한글\\x0A"}, Row{"\x80\xFF", "\x80\xFF"}}) {
        EXPECT_EQ(PrintableText(row.text), row.shown) << row.shown;
    }
}

TEST(FileNamePart, TakesTheTextAfterTheLastSeparator) {
    EXPECT_EQ(FileNamePart("/home/user/사진.png"), "사진.png");
    EXPECT_EQ(FileNamePart("plain.txt"), "plain.txt");
    EXPECT_EQ(FileNamePart("folder/"), "");
    EXPECT_EQ(FileNamePart("C:\\a\\b.txt"), "C:\\a\\b.txt");
    EXPECT_EQ(FileNamePart("C:\\a\\b.txt", '\\'), "b.txt");
}

}  // namespace
