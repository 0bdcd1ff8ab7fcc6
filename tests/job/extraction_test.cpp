#include "job/extraction.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "tests/archive/handmade_archive.h"
#include "zok/zok_file.h"

using namespace zok;

namespace {

using zoktest::DeflatedEntry;
using zoktest::HandEntry;

std::map<std::string, std::string> FolderContent(const std::filesystem::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        files[entry.path().filename().string()] = zoktest::ReadFile(entry.path().string());
    }
    return files;
}

std::vector<size_t> AllOf(const CZokFile& zok) {
    std::vector<size_t> all(zok.Count());
    for (size_t i = 0; i < all.size(); ++i) {
        all[i] = i;
    }
    return all;
}

class ExtractionTest : public ::testing::Test {
protected:
    CZokFile& Open(const std::vector<HandEntry>& entries) {
        zoktest::WriteFile(dir.File("a.zok"), zoktest::MakeArchive(entries));
        zok = std::make_unique<CZokFile>(dir.File("a.zok"));
        std::filesystem::create_directory(out);
        return *zok;
    }

    zoktest::TempDir dir;
    std::filesystem::path out = dir.Path() / "out";
    std::unique_ptr<CZokFile> zok;
};

TEST_F(ExtractionTest, NamesLeavingTheFolderAreRefusedAndTakenNamesFound) {
    Open({DeflatedEntry("", "x"), DeflatedEntry(".", "x"), DeflatedEntry("..", "x"),
          DeflatedEntry("a/b", "x"), DeflatedEntry("/etc/passwd", "x"),
          DeflatedEntry(std::string("nul\0.txt", 8), "x"), DeflatedEntry("..a", "x"),
          DeflatedEntry("exists.txt", "x"), DeflatedEntry("link", "x"),
          DeflatedEntry("twice.txt", "1"), DeflatedEntry("twice.txt", "2")});
    zoktest::WriteFile((out / "exists.txt").string(), "mine");
    std::filesystem::create_symlink(dir.Path() / "nowhere", out / "link");
    const std::vector<ExtractItem> items = PlanExtraction(*zok, AllOf(*zok), out.string());
    const struct {
        const char* refused;
        bool taken;
    } expected[] = {{"이름이 비어 있습니다", false},
                    {"이름이 폴더를 가리킵니다", false},
                    {"이름이 폴더를 가리킵니다", false},
                    {"이름에 폴더 구분자(/)가 있습니다", false},
                    {"이름에 폴더 구분자(/)가 있습니다", false},
                    {"이름에 NUL 바이트가 있습니다", false},
                    {"", false},
                    {"", true},  // a file has the name
                    {"", true},  // a broken symbolic link has it
                    {"", false},
                    {"", true}};  // the entry before has it
    ASSERT_EQ(items.size(), std::size(expected));
    for (size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(items[i].refused, expected[i].refused) << i;
        EXPECT_EQ(items[i].taken, expected[i].taken) << i;
        EXPECT_EQ(items[i].target.empty(), !items[i].refused.empty()) << i;
    }

    // Asked in order until 모두 예; the refused and the free names are never asked about.
    std::vector<ExtractItem> answered = items;
    std::vector<std::string> asked;
    AnswerOverwrites(answered, [&](const ExtractItem& item) {
        asked.push_back(item.name);
        return asked.size() == 1 ? OverwriteAnswer::No : OverwriteAnswer::YesToAll;
    });
    EXPECT_EQ(asked, (std::vector<std::string>{"exists.txt", "link"}));
    EXPECT_TRUE(answered[7].skip);
    EXPECT_TRUE(answered[8].replace && answered[10].replace);
    EXPECT_FALSE(answered[9].replace || answered[9].skip);

    const ExtractionResult result = ExtractItems(*zok, answered, nullptr, {});
    EXPECT_EQ(result.failures.size(), 6u);
    EXPECT_EQ(result.failures[0], ": 이름이 비어 있습니다");
    EXPECT_EQ(result.failures[5], "nul\\x00.txt: 이름에 NUL 바이트가 있습니다");
    EXPECT_EQ(FolderContent(out),
              (std::map<std::string, std::string>{
                  {"..a", "x"}, {"exists.txt", "mine"}, {"link", "x"}, {"twice.txt", "2"}}));
}

TEST_F(ExtractionTest, ADamagedEntryLeavesNoFileAndIsNamed) {
    std::string corrupt = zoktest::Deflate(zoktest::TextBytes(300000));
    corrupt[corrupt.size() / 2] ^= 0x55;
    Open({DeflatedEntry("good.txt", "good"), HandEntry("bad.txt", corrupt, 3, 300000),
          HandEntry("empty.txt", "", 3, 10, 0)});
    std::vector<ExtractItem> items = PlanExtraction(*zok, AllOf(*zok), out.string());
    const ExtractionResult result = ExtractItems(*zok, items, nullptr, {});
    EXPECT_EQ(FolderContent(out), (std::map<std::string, std::string>{{"good.txt", "good"}}))
        << "nothing of the damaged entry is left, not even a temporary file";
    ASSERT_EQ(result.failures.size(), 2u);
    EXPECT_TRUE(result.failures[0].starts_with("bad.txt: 손상된 항목입니다: 압축된 데이터가 "))
        << result.failures[0];
    EXPECT_EQ(result.failures[1], "empty.txt: 빈 항목입니다: 압축할 때 인코딩하지 못했습니다");
    ASSERT_EQ(result.damaged.size(), 1u);
    EXPECT_EQ(result.damaged[0].first, 1u);
    EXPECT_EQ(result.written, (std::vector<std::string>{(out / "good.txt").string()}));
}

TEST_F(ExtractionTest, CancelRemovesWhatThisRunMadeAndKeepsWhatItReplaced) {
    const std::string big = zoktest::RandomBytes(3 << 20);
    Open({DeflatedEntry("new.txt", "new"), DeflatedEntry("old.txt", "replacement"),
          HandEntry("big.old", big)});
    zoktest::WriteFile((out / "old.txt").string(), "mine");
    std::vector<ExtractItem> items = PlanExtraction(*zok, AllOf(*zok), out.string());
    AnswerOverwrites(items, [](const ExtractItem&) { return OverwriteAnswer::Yes; });
    EXPECT_EQ(BytesToExtract(items), 3u + 11u + big.size());
    std::atomic<bool> cancel{false};
    std::vector<uint64_t> reports;
    const ExtractionResult result = ExtractItems(*zok, items, &cancel, [&](uint64_t done) {
        reports.push_back(done);
        // Half-way through the big entry.
        cancel = done > 14 + big.size() / 2;
    });
    EXPECT_TRUE(result.cancelled);
    EXPECT_TRUE(result.written.empty());
    EXPECT_EQ(FolderContent(out), (std::map<std::string, std::string>{{"old.txt", "replacement"}}));
    EXPECT_TRUE(std::is_sorted(reports.begin(), reports.end()));
    EXPECT_GT(reports.size(), 3u) << "a large entry reports within itself";
}

}  // namespace
