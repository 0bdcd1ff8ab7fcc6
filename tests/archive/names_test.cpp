#include "io/names.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "archive/entry_kinds.h"
#include "archive/entry_names.h"
#include "codecs/codec_table.h"
#include "tests/archive/handmade_archive.h"
#include "zok/names.h"
#include "zok/zok_file.h"

using namespace zok;
using namespace zoktest;

namespace {

TEST(Names, BaseNameAndKindNameTakeBytesFromTheEnd) {
    EXPECT_EQ(BaseName("/data/readme.txt"), "readme.txt");
    EXPECT_EQ(BaseName("readme.txt"), "readme.txt");
    EXPECT_EQ(BaseName("/data/pics/"), "");
    // A backslash is an ordinary file-name byte here.
    EXPECT_EQ(BaseName("/data/a\\b.txt"), "a\\b.txt");
    EXPECT_EQ(KindName("/x/README"), "DME");
    EXPECT_EQ(KindName("ab"), "");
    EXPECT_EQ(KindName("/x/사진"), "진");
}

TEST(Names, CaseFoldingTouchesAsciiLettersOnly) {
    EXPECT_TRUE(EqualsNoCase("README.TXT", "readme.txt"));
    EXPECT_FALSE(EqualsNoCase("readme.txt", "readme.tx"));
    EXPECT_TRUE(EqualsNoCase("사진.PNG", "사진.png"));
    EXPECT_FALSE(EqualsNoCase("사진", "사잔"));
    EXPECT_EQ(FoldCase("AbC한Z"), "abc한z");
}

TEST(Names, Cp949ConversionRoundTripsAndRefusesWhatItCannotHold) {
    EXPECT_EQ(Utf8ToCp949("가.txt").value(), "\xB0\xA1.txt");
    EXPECT_EQ(Cp949ToUtf8("\xB0\xA1.txt").value(), "가.txt");
    // Hangul outside KS X 1001 is still CP949 (extended area).
    const std::string extended = "똠";
    EXPECT_EQ(Cp949ToUtf8(Utf8ToCp949(extended).value()).value(), extended);
    EXPECT_FALSE(Utf8ToCp949("\xF0\x9F\x98\x80").has_value());
    EXPECT_FALSE(Utf8ToCp949("\xFF\xFE").has_value());
    EXPECT_FALSE(Cp949ToUtf8("\xB0").has_value());
}

// Names as shown and as stored: escapes only where a backslash, x and two hex digits stand, the
// text around them converted to CP949 or no name at all; names shown as UTF-8 with every byte
// outside CP949 (0x80 included) escaped.
TEST(EntryNames, ShownNamesMapToStoredBytesAndBack) {
    const struct {
        const char* shown;
        std::optional<std::string> stored;
    } unescaped[] = {
        {"\\xFF\\xFE", std::string("\xFF\xFE")},
        {"\\abc\\x01", std::string("\\abc\x01")},
        {"zx41\\x01", std::string("zx41\x01")},
        {"\xEA\xB0\x80\\x01", std::string("\xB0\xA1\x01")},  // 가 then byte 1
        {"\xEA\xB0\x80.txt", std::nullopt},                  // no escape in it
        {"\xF0\x9F\x98\x80\\x01", std::nullopt},             // text that CP949 cannot hold
    };
    for (const auto& row : unescaped) {
        SCOPED_TRACE(row.shown);
        EXPECT_EQ(UnescapeName(row.shown), row.stored);
    }
    const struct {
        std::string stored;
        const char* shown;
    } decoded[] = {
        {"a.txt", "a.txt"},
        {"\xB0\xA1\xB3\xAA", "\xEA\xB0\x80\xEB\x82\x98"},  // 가나, no ASCII byte at all
        {"a\x80", "a\\x80"},
    };
    for (const auto& row : decoded) {
        EXPECT_EQ(DecodeName(row.stored), row.shown);
    }
    // A trail byte that looks like a letter is never folded, after any lead byte.
    for (const char* lead : {"\x81", "\xB0", "\xFE"}) {
        SCOPED_TRACE(int(static_cast<unsigned char>(lead[0])));
        const std::string upper = std::string(lead) + "AB";
        EXPECT_EQ(FoldedName(upper), std::string(lead) + "Ab");
        EXPECT_NE(CompareFolded(upper, std::string(lead) + "ab"), 0);
        EXPECT_EQ(CompareFolded(upper, std::string(lead) + "Ab"), 0);
    }
}

TEST(EntryKinds, KindNamesAreTheStoredNamesLastThreeBytes) {
    // Hangul syllables whose CP949 trail byte is a letter: stored, "걇ld" ends in "old", "갶mp"
    // in "bmp" and "걈ng" in "png", which their UTF-8 forms never do.
    struct Row {
        const char* utf8;
        CCodecTable::Slot codec;
        EntryKind kind;
    };
    for (const Row& row : {Row{"걇ld", CCodecTable::kStored, EntryKind::Other},
                           Row{"갶mp", CCodecTable::kBmp, EntryKind::PngStream},
                           Row{"걈ng", CCodecTable::kPng, EntryKind::PngStream},
                           Row{"가ld", CCodecTable::kText, EntryKind::Other}}) {
        SCOPED_TRACE(row.utf8);
        const std::string stored = Utf8ToCp949(row.utf8).value();
        EXPECT_EQ(WriteRuleFor(stored).codec, row.codec);
        EXPECT_EQ(WriteRuleFor(stored).kind, row.kind);
    }
    // Reading goes by the same bytes: a kind 3 entry stored as "걇ld" was stored unchanged.
    EXPECT_EQ(ReadRuleFor(EntryKind::Other, Utf8ToCp949("걇ld").value())->read, ContentRead::Copy);
    EXPECT_EQ(ReadRuleFor(EntryKind::Other, Utf8ToCp949("가ld").value())->read,
              ContentRead::Inflate);
    EXPECT_FALSE(ReadRuleFor(EntryKind(4), "x"));
}

}  // namespace

namespace {

// Shell-style patterns as zip and unzip take them, letter case ignored, a Korean character one
// character; an entry named literally like a pattern is found by that name first.
TEST(Names, PatternsMatchAsTheShellsDoWithoutRegardToCase) {
    const struct {
        const char* pattern;
        const char* name;
        bool matches;
    } rows[] = {{"*.png", "Logo.PNG", true}, {"*.png", "logo.png.txt", false},
                {"?.txt", "가.txt", true},   {"??.txt", "가.txt", false},
                {"[a-c]*", "Bravo", true},   {"[!a-c]*", "bravo", false},
                {"\\*.txt", "*.txt", true},  {"\\*.txt", "a.txt", false},
                {"[x", "[x", true},          {"*", "", true},
                {"a*b*c", "aXbYbc", true},   {"a*b*c", "aXbYb", false}};
    for (const auto& row : rows) {
        EXPECT_EQ(MatchesPattern(row.pattern, row.name), row.matches)
            << row.pattern << " ~ " << row.name;
    }
    TempDir dir;
    WriteFile(dir.File("p.zok"),
              MakeArchive({DeflatedEntry("a.png", "1"), DeflatedEntry("b.txt", "2"),
                           DeflatedEntry("*.png", "3"), DeflatedEntry("C.PNG", "4")}));
    const CZokFile zok(dir.File("p.zok"));
    EXPECT_EQ(zok.FindAll("*.png"), std::vector<size_t>{2});
    EXPECT_EQ(zok.FindAll("?.PNG"), (std::vector<size_t>{0, 2, 3}));
    EXPECT_EQ(zok.FindAll("B.TXT"), std::vector<size_t>{1});
    EXPECT_TRUE(zok.FindAll("*.gif").empty());
}

}  // namespace
