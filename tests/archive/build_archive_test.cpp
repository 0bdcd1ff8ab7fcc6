#include "zok/build_archive.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

#include "io/names.h"
#include "tests/support/test_support.h"

using namespace zok;

using namespace zoktest;

namespace {

std::vector<DirectoryRecord> ParseDirectory(const std::string& a) {
    EXPECT_EQ(a.substr(0, 6), "ZOK110");
    std::vector<DirectoryRecord> records = ReadDirectory(a);
    size_t pos = 10;
    for (const DirectoryRecord& r : records) {
        pos += 17 + r.name.size();
    }
    // Entries follow the directory directly, one after another.
    size_t next = pos;
    for (const DirectoryRecord& r : records) {
        EXPECT_EQ(r.offset, next);
        next = r.offset + r.storedSize;
    }
    EXPECT_EQ(next, a.size());
    return records;
}

std::vector<std::array<uint32_t, 3>> g_reports;
void Record3(int32_t files, uint32_t bytes, uint32_t size) {
    g_reports.push_back({uint32_t(files), bytes, size});
}

TEST(BuildArchive, EmptyListGivesTenByteArchiveWithoutReports) {
    TempDir dir;
    g_reports.clear();
    const std::string out = dir.File("empty.zok");
    ASSERT_TRUE(BuildArchive(std::vector<std::string>{}, out, Record3));
    EXPECT_EQ(ReadFile(out), std::string("ZOK110\0\0\0\0", 10));
    EXPECT_TRUE(g_reports.empty());
}

TEST(BuildArchive, OneInputHasThirtySevenByteHeaderAndDeflatedEntry) {
    TempDir dir;
    const std::string input = dir.File("readme.txt");
    const std::string content = TextBytes(100);
    WriteFile(input, content);
    const std::string out = dir.File("one.zok");
    ASSERT_TRUE(BuildArchive({input}, out, nullptr));
    const std::string a = ReadFile(out);
    const auto records = ParseDirectory(a);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(U32At(a, 10), 10u);
    EXPECT_EQ(records[0].name, "readme.txt");
    EXPECT_EQ(records[0].offset, 37u);
    EXPECT_EQ(records[0].sourceSize, 100u);
    EXPECT_EQ(records[0].kind, 3);
    // The entry is a zlib stream (deflate, 32K window) of the content.
    EXPECT_EQ(uint8_t(a[37]), 0x78);
}

TEST(BuildArchive, KindsStoredEntriesAndDuplicateNames) {
    TempDir dir;
    std::filesystem::create_directory(dir.Path() / "a");
    std::filesystem::create_directory(dir.Path() / "b");
    const std::string notes = RandomBytes(5000, 7);
    WriteFile(dir.File("notes.old"), notes);
    WriteFile(dir.File("README"), TextBytes(3000));
    WriteFile(dir.File("a/x.txt"), "first");
    WriteFile(dir.File("b/x.txt"), "second");
    WriteFile(dir.File("empty.OLD"), "");
    const std::string out = dir.File("mixed.zok");
    BuildReport report;
    ASSERT_TRUE(BuildArchive({dir.File("notes.old"), dir.File("README"), dir.File("a/x.txt"),
                              dir.File("b/x.txt"), dir.File("empty.OLD")},
                             out, nullptr, &report))
        << Problems(report);
    EXPECT_TRUE(report.unencoded.empty());
    const std::string a = ReadFile(out);
    const auto r = ParseDirectory(a);
    ASSERT_EQ(r.size(), 5u);
    // Stored unchanged, kind 3.
    EXPECT_EQ(r[0].name, "notes.old");
    EXPECT_EQ(r[0].kind, 3);
    EXPECT_EQ(r[0].storedSize, notes.size());
    EXPECT_EQ(a.substr(r[0].offset, r[0].storedSize), notes);
    // No extension: deflate.
    EXPECT_EQ(r[1].name, "README");
    EXPECT_LT(r[1].storedSize, 3000u);
    EXPECT_EQ(uint8_t(a[r[1].offset]), 0x78);
    // Two inputs with one base name give two entries of that name.
    EXPECT_EQ(r[2].name, "x.txt");
    EXPECT_EQ(r[3].name, "x.txt");
    // An empty stored file is an empty entry, not a failure.
    EXPECT_EQ(r[4].storedSize, 0u);
    EXPECT_EQ(r[4].sourceSize, 0u);
}

TEST(BuildArchive, KoreanNamesAreStoredAsCp949Bytes) {
    TempDir dir;
    const std::string input = dir.File("한글 파일.txt");
    WriteFile(input, "abc");
    const std::string out = dir.File("k.zok");
    ASSERT_TRUE(BuildArchive({input}, out, nullptr));
    const std::string a = ReadFile(out);
    const auto r = ParseDirectory(a);
    ASSERT_EQ(r.size(), 1u);
    // 한 C7D1, 글 B1DB, 파 C6C4, 일 C0CF: two bytes each.
    EXPECT_EQ(U32At(a, 10), 4u * 2 + 1 + 4);
    EXPECT_EQ(r[0].name, "\xC7\xD1\xB1\xDB \xC6\xC4\xC0\xCF.txt");
    EXPECT_EQ(Cp949ToUtf8(r[0].name).value(), "한글 파일.txt");
}

TEST(BuildArchive, NameThatCp949CannotHoldIsRefusedBeforeWriting) {
    TempDir dir;
    const std::string input = dir.File("emoji-\xF0\x9F\x98\x80.txt");
    WriteFile(input, "abc");
    const std::string out = dir.File("e.zok");
    BuildReport report;
    EXPECT_FALSE(BuildArchive({input}, out, nullptr, &report));
    EXPECT_NE(Problems(report).find(input), std::string::npos) << Problems(report);
    EXPECT_FALSE(FileExists(out));
    EXPECT_EQ(CountIn(dir.Path()), 1u);
}

TEST(BuildArchive, ProgressReportsFilesBytesAndArchiveSize) {
    TempDir dir;
    std::vector<std::string> inputs;
    for (int i = 1; i <= 3; ++i) {
        inputs.push_back(dir.File("f" + std::to_string(i) + ".old"));
        WriteFile(inputs.back(), RandomBytes(100 * i, i));
    }
    g_reports.clear();
    const std::string out = dir.File("p.zok");
    ASSERT_TRUE(BuildArchive(inputs, out, Record3));
    const uint32_t header = 10 + 3 * (17 + 6);  // names f1.old ... f3.old
    ASSERT_EQ(g_reports.size(), 3u);
    EXPECT_EQ(g_reports[0], (std::array<uint32_t, 3>{1, 100, header + 100}));
    EXPECT_EQ(g_reports[1], (std::array<uint32_t, 3>{2, 300, header + 300}));
    EXPECT_EQ(g_reports[2], (std::array<uint32_t, 3>{3, 600, header + 600}));
    EXPECT_EQ(ReadFile(out).size(), header + 600);
}

TEST(BuildArchive, ReadOnlyInputIsPacked) {
    TempDir dir;
    const std::string input = dir.File("locked.txt");
    WriteFile(input, TextBytes(500));
    ::chmod(input.c_str(), 0444);
    const std::string out = dir.File("ro.zok");
    BuildReport report;
    EXPECT_TRUE(BuildArchive({input}, out, nullptr, &report)) << Problems(report);
}

TEST(BuildArchive, UnreadableInputsFailNamingTheFileAndLeaveTargetUntouched) {
    TempDir dir;
    WriteFile(dir.File("ok.txt"), "fine");
    std::filesystem::create_directory(dir.Path() / "folder");
    const std::string out = dir.File("target.zok");
    WriteFile(out, "an older archive");
    struct Case {
        std::string path, reason;
    };
    for (const Case& c :
         {Case{dir.File("missing.txt"), "No such file"}, Case{dir.File("folder"), "folder"},
          Case{dir.File("folder") + "/", "folder"}}) {
        BuildReport report;
        EXPECT_FALSE(BuildArchive({dir.File("ok.txt"), c.path}, out, nullptr, &report));
        EXPECT_NE(Problems(report).find(c.path), std::string::npos) << Problems(report);
        EXPECT_NE(Problems(report).find(c.reason), std::string::npos) << Problems(report);
        EXPECT_EQ(ReadFile(out), "an older archive");
    }
    // Nothing but the inputs and the old archive remains: no temporary files.
    EXPECT_EQ(CountIn(dir.Path()), 3u);
}

TEST(BuildArchive, OutputThatCannotBeCreatedFails) {
    TempDir dir;
    WriteFile(dir.File("a.txt"), "a");
    BuildReport report;
    EXPECT_FALSE(
        BuildArchive({dir.File("a.txt")}, dir.File("no/such/folder/x.zok"), nullptr, &report));
    EXPECT_NE(Problems(report).find("no/such/folder/x.zok"), std::string::npos) << Problems(report);
    // A successful build replaces an existing archive.
    const std::string out = dir.File("x.zok");
    WriteFile(out, "old");
    ASSERT_TRUE(BuildArchive({dir.File("a.txt")}, out, nullptr));
    EXPECT_EQ(ReadFile(out).substr(0, 3), "ZOK");
}

TEST(BuildArchive, FullDiskFailsAndLeavesNothing) {
    TempDir dir;
    const std::string input = dir.File("big.old");
    WriteFile(input, RandomBytes(200000, 3));
    const std::string out = dir.File("full.zok");
    WriteFile(out, "keep me");
    // The file size limit stands in for a full disk; run in a child to keep the limit there.
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{50000, 50000};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        BuildReport report;
        const bool ok = BuildArchive({input}, out, nullptr, &report);
        const bool named = Problems(report).find(out) != std::string::npos ||
                           Problems(report).find(input) != std::string::npos;
        ::_exit(!ok && named ? 0 : 1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadFile(out), "keep me");
    EXPECT_EQ(CountIn(dir.Path()), 2u);
}

}  // namespace
