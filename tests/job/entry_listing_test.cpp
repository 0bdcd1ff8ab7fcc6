#include "job/entry_listing.h"

#include <gtest/gtest.h>

#include "job/formatting.h"
#include "tests/archive/handmade_archive.h"
#include "zok/zok_file.h"

using namespace zok;

namespace {

using zoktest::HandEntry;

// The words come from the library's description of each entry: what its kind byte and name
// make it.
TEST(EntryListing, KindsAndPercentagesInWords) {
    using zoktest::HandEntry;
    const struct {
        uint8_t kind;
        const char* name;
        const char* word;
        bool picture;
    } kinds[] = {{0, "a.bmp", "비트맵", false},  {1, "a.bmp", "비트맵", true},
                 {2, "a.bmp", "그림 PNG", true}, {3, "A.OlD", "저장", false},
                 {3, "a.txt", "압축", false},    {3, "old", "저장", false},
                 {3, "ol", "압축", false},       {255, "x.old", "알 수 없음 (255)", false}};
    std::vector<HandEntry> entries;
    for (const auto& k : kinds) {
        entries.push_back(HandEntry(k.name, "", k.kind));
    }
    zoktest::TempDir dir;
    zoktest::WriteFile(dir.File("k.zok"), zoktest::MakeArchive(entries));
    const std::vector<EntryRow> rows = ListEntries(CZokFile(dir.File("k.zok")));
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].kindWord, kinds[i].word) << int(kinds[i].kind) << " " << kinds[i].name;
        EXPECT_EQ(rows[i].picture, kinds[i].picture) << int(kinds[i].kind) << " " << kinds[i].name;
    }
    EXPECT_EQ(PercentText(StoredPercent(200, 50)), "25.0%");
    EXPECT_EQ(PercentText(StoredPercent(3, 2)), "66.7%");
    EXPECT_EQ(PercentText(StoredPercent(100, 250)), "250.0%");
    EXPECT_EQ(PercentText(StoredPercent(0, 0)), "-");
    EXPECT_EQ(PercentText(StoredPercent(0, 17)), "-");
}

TEST(EntryListing, RowsAreMarkedAsTheDirectoryTellsAndTotalsPassFourGiB) {
    zoktest::TempDir dir;
    const std::string path = dir.File("listing.zok");
    zoktest::WriteFile(path, zoktest::MakeArchive({
                                 zoktest::DeflatedEntry("ok\x01.txt", "text"),
                                 HandEntry("empty.txt", "", 3, 100, 0),
                                 HandEntry("strange", "abc", 9),
                                 // Claims 3 GiB from 3 bytes: more than deflate can give.
                                 HandEntry("huge.txt", "abc", 3, 3u << 30),
                                 HandEntry("big.old", "", 3, 2u << 30, 0),
                             }));
    CZokFile zok(path);
    const std::vector<EntryRow> rows = ListEntries(zok);
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0].name, "ok\\x01.txt") << "control bytes are shown escaped";
    EXPECT_EQ(rows[0].mark, EntryMark::Sound);
    EXPECT_EQ(rows[1].mark, EntryMark::HoldsNoData);
    EXPECT_EQ(rows[1].problem, "빈 항목입니다: 압축할 때 인코딩하지 못했습니다");
    EXPECT_EQ(rows[2].mark, EntryMark::Damaged);
    EXPECT_EQ(rows[2].problem, "종류(9)를 알 수 없습니다");
    EXPECT_EQ(rows[3].mark, EntryMark::Damaged);
    EXPECT_EQ(rows[3].problem, "크기가 압축된 데이터에 담길 수 있는 것보다 큽니다");
    EXPECT_EQ(rows[4].mark, EntryMark::HoldsNoData);

    EXPECT_EQ(ListingStatus(rows, zok.Version(), 5),
              "항목 5개 · 원래 크기 5,368,709,227 byte · 압축 크기 " +
                  FormatNumber(uint64_t(zoktest::Deflate("text").size() + 6)) +
                  " byte · 버전 1.1.0");
    EXPECT_EQ(ListingStatus({}, "100", 0),
              "항목 0개 · 원래 크기 0 byte · 압축 크기 0 byte · 버전 1.0.0");
    EXPECT_TRUE(ListingStatus(rows, "110", 2).starts_with("항목 5개 (2개 표시) · "));
}

}  // namespace
