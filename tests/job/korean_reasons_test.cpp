#include "job/korean_reasons.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <regex>

#include "tests/archive/handmade_archive.h"
#include "zok/zok_file.h"

using namespace zok;

namespace {

using zoktest::HandEntry;

// Every reason the library gives for an entry it cannot read comes out in Korean: no English
// word is left.
TEST(KoreanReasons, EveryReasonForADamagedEntryIsPutIntoKorean) {
    const std::string text = zoktest::TextBytes(5000);
    std::string corrupt = zoktest::Deflate(text);
    corrupt[corrupt.size() / 2] ^= 0x55;
    const std::string deflated = zoktest::Deflate(text);
    const std::vector<HandEntry> entries = {
        HandEntry("kind", "abc", 7),
        HandEntry("past.old", "abc", 3, 3, 3, 1u << 20),
        HandEntry("short.old", "abc", 3, 10),
        HandEntry("corrupt.txt", corrupt, 3, 5000),
        HandEntry("more.txt", deflated, 3, 4000),
        HandEntry("fewer.txt", deflated, 3, 6000),
        HandEntry("cut.txt", deflated.substr(0, deflated.size() / 2), 3, 5000),
        HandEntry("notpng.png", "not a png at all", 2),
        HandEntry("empty.txt", "", 3, 10, 0),
    };
    zoktest::TempDir dir;
    const std::string path = dir.File("reasons.zok");
    zoktest::WriteFile(path, zoktest::MakeArchive(entries));
    CZokFile zok(path);
    // Abbreviations such as PNG and GiB may stay; English words may not.
    const std::regex english("[a-z]{2,}");
    for (size_t i = 0; i < zok.Count(); ++i) {
        std::string problem = zok.EntryProblem(i).value_or("");
        if (problem.empty()) {
            const auto reader = zok.OpenEntry(i);
            std::string piece(1 << 16, '\0');
            while (reader->Read(piece.data(), piece.size()) > 0) {
            }
            problem = reader->Error();
        }
        if (problem.empty()) {
            BITMAPINFOHEADER header;
            try {
                zok.DecodeEntryBitmapAt(i, &header, nullptr);
            } catch (const std::exception& e) {
                problem = e.what();
            }
        }
        ASSERT_FALSE(problem.empty()) << zok.Record(i).name << " reads as sound";
        const std::string korean = KoreanReason(problem);
        EXPECT_FALSE(std::regex_search(korean, english)) << problem << " -> " << korean;
    }
    EXPECT_EQ(KoreanReason(strerror(ENOSPC)), "디스크에 남은 공간이 없습니다");
    EXPECT_EQ(KoreanReason("its data cannot be read: " + std::string(strerror(EIO))),
              "데이터를 읽을 수 없습니다: 입출력 오류가 났습니다");
    EXPECT_EQ(KoreanReasonOf("/x/a.txt", "/x/a.txt: already exists"), "이미 있습니다");
    EXPECT_EQ(KoreanReason("something new"), "something new");
}

}  // namespace
