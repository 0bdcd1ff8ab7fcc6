// How the extraction decides and reports: the caller's answers about files in the way, the
// progress total, a folder that cannot be had, indices, a cancel that comes too late to cut
// anything, what a failure names (a full disk too).

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/archive/handmade_archive.h"
#include "zok/extract.h"
#include "zok/zok_file.h"

using namespace zok;
using namespace zoktest;
namespace fs = std::filesystem;

namespace {

// A cancel that comes once every item is done takes nothing back: the run was not cut short.
TEST(Extraction, ACancelAfterTheLastItemTakesNothingBack) {
    TempDir dir;
    WriteFile(dir.File("a.zok"), MakeArchive({DeflatedEntry("a.txt", "a")}));
    const CZokFile zok(dir.File("a.zok"));
    const fs::path out = dir.Path() / "out";
    Extraction extraction(zok);
    ASSERT_FALSE(extraction.Plan(out.string(), {0}));
    extraction.Decide(ExistingFiles::Keep);
    std::atomic<bool> cancel{false};
    ExtractOptions options;
    options.cancel = &cancel;
    options.onItem = [&cancel](const ExtractItem&, const ItemResult&) { cancel = true; };
    const ExtractResult result = extraction.Run(options);
    EXPECT_FALSE(result.cancelled);
    EXPECT_EQ(result.written, 1u);
    EXPECT_EQ(ReadFile((out / "a.txt").string()), "a");
}

// Three files in the way, and the caller's answers in turn: an answer "to all" decides the
// files after it without asking again.
TEST(Extraction, AnAnswerToAllDecidesTheRestWithoutAsking) {
    TempDir dir;
    const std::vector<std::string> names = {"a.txt", "b.txt", "c.txt"};
    std::vector<HandEntry> entries;
    for (const std::string& name : names) {
        entries.push_back(DeflatedEntry(name, "new"));
    }
    WriteFile(dir.File("a.zok"), MakeArchive(entries));
    const CZokFile zok(dir.File("a.zok"));
    using A = OverwriteAnswer;
    struct Row {
        std::vector<OverwriteAnswer> answers;  // given in turn
        size_t asked;
        std::vector<std::string> contents;  // of each file afterwards
    };
    const Row rows[] = {
        {{A::YesToAll}, 1, {"new", "new", "new"}},
        {{A::No, A::NoToAll}, 2, {"old", "old", "old"}},
        {{A::No, A::Yes, A::No}, 3, {"old", "new", "old"}},
    };
    for (size_t r = 0; r < std::size(rows); ++r) {
        SCOPED_TRACE(r);
        const fs::path out = dir.Path() / ("out" + std::to_string(r));
        fs::create_directories(out);
        for (const std::string& name : names) {
            WriteFile((out / name).string(), "old");
        }
        Extraction extraction(zok);
        ASSERT_FALSE(extraction.Plan(out.string(), {0, 1, 2}));
        size_t asked = 0;
        extraction.Decide(ExistingFiles::Ask, [&](const ExtractItem&) {
            const size_t k = asked++;
            return k < rows[r].answers.size() ? rows[r].answers[k] : A::No;
        });
        extraction.Run(ExtractOptions());
        EXPECT_EQ(asked, rows[r].asked);
        for (size_t i = 0; i < names.size(); ++i) {
            EXPECT_EQ(ReadFile((out / names[i]).string()), rows[r].contents[i]) << names[i];
        }
    }
}

// The total announced for progress is what the run reads: nothing for a refused name or a
// file kept, so that a finished run's progress ends exactly at it.
TEST(Extraction, ProgressEndsAtTheTotalWhateverIsKeptSkippedOrRefused) {
    TempDir dir;
    // Refused: a name that would leave the folder, and one too long for the file system.
    WriteFile(dir.File("a.zok"), MakeArchive({DeflatedEntry("new.txt", TextBytes(3000)),
                                              DeflatedEntry("old.txt", TextBytes(5000)),
                                              DeflatedEntry("..", TextBytes(7000)),
                                              DeflatedEntry(std::string(300, 'n'), "long")}));
    const CZokFile zok(dir.File("a.zok"));
    const struct {
        ExistingFiles policy;
        uint64_t total;
        ItemStatus existing;  // what became of old.txt
    } rows[] = {{ExistingFiles::Keep, 3000, ItemStatus::Failed},
                {ExistingFiles::Skip, 3000, ItemStatus::Skipped},
                {ExistingFiles::Replace, 8000, ItemStatus::Replaced}};
    for (const auto& row : rows) {
        SCOPED_TRACE(int(row.policy));
        const fs::path out = dir.Path() / ("out" + std::to_string(int(row.policy)));
        fs::create_directories(out);
        WriteFile((out / "old.txt").string(), "old");
        Extraction extraction(zok);
        ASSERT_FALSE(extraction.Plan(out.string(), {0, 1, 2, 3}));
        extraction.Decide(row.policy);
        uint64_t done = 0;
        ExtractOptions options;
        options.progress = [&done](uint64_t bytes) { done = bytes; };
        ItemStatus existing = ItemStatus::NotReached;
        options.onItem = [&existing](const ExtractItem& item, const ItemResult& result) {
            if (item.name == "old.txt") {
                existing = result.status;
            }
        };
        extraction.Run(options);
        EXPECT_EQ(existing, row.existing);
        EXPECT_EQ(extraction.BytesToRead(), row.total);
        EXPECT_EQ(done, row.total);
    }
}

// A folder that cannot be had (a file stands in its way) fails the plan as a whole, and nothing
// is planned into it.
TEST(Extraction, AFolderThatCannotBeMadeFailsThePlan) {
    TempDir dir;
    WriteFile(dir.File("a.zok"), MakeArchive({DeflatedEntry("a.txt", "a")}));
    WriteFile(dir.File("file"), "in the way");
    const CZokFile zok(dir.File("a.zok"));
    Extraction extraction(zok);
    const Error error = extraction.Plan(dir.File("file/out"), {0});
    EXPECT_EQ(error.code, ErrorCode::NoFolder) << DescribeProblem(error);
    EXPECT_EQ(error.path, dir.File("file/out"));
    EXPECT_TRUE(extraction.Items().empty());
}

// Indices past the directory are refused each by itself, and an index given twice is planned
// once.
TEST(Extraction, AnIndexPastTheDirectoryIsRefusedAndARepeatIsPlannedOnce) {
    TempDir dir;
    WriteFile(dir.File("a.zok"), MakeArchive({DeflatedEntry("a.txt", "a")}));
    const CZokFile zok(dir.File("a.zok"));
    const fs::path out = dir.Path() / "out";
    Extraction extraction(zok);
    ASSERT_FALSE(extraction.Plan(out.string(), {0, 1, 0, 7}));
    ASSERT_EQ(extraction.Items().size(), 3u);
    const ExtractResult result = extraction.Run(ExtractOptions());
    EXPECT_EQ(result.items[0].status, ItemStatus::Written);
    for (const size_t k : {1, 2}) {
        EXPECT_EQ(result.items[k].status, ItemStatus::Failed);
        EXPECT_EQ(result.items[k].error.code, ErrorCode::NoSuchEntry);
    }
    EXPECT_EQ(result.items[1].error.number, 1u);
    EXPECT_EQ(result.written, 1u);
    EXPECT_EQ(result.failed, 2u);
    EXPECT_EQ(ReadFile((out / "a.txt").string()), "a");
}

// An archive read from a descriptor under no name: an entry that fails still names a file, the
// one it was to be written as.
TEST(Extraction, AFailureNamesTheOutputWhenTheArchiveHasNoName) {
    TempDir dir;
    WriteFile(dir.File("a.zok"), MakeArchive({HandEntry("bad.txt", "not a zlib stream", 3, 50)}));
    const int fd = ::open(dir.File("a.zok").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    const CZokFile zok(fd, "");
    ::close(fd);
    const fs::path out = dir.Path() / "out";
    Extraction extraction(zok);
    ASSERT_FALSE(extraction.Plan(out.string(), {0}));
    const ExtractResult result = extraction.Run(ExtractOptions());
    EXPECT_EQ(result.items[0].status, ItemStatus::Failed);
    EXPECT_EQ(result.items[0].error.path, (out / "bad.txt").string())
        << DescribeProblem(result.items[0].error);
    EXPECT_FALSE(fs::exists(out / "bad.txt"));
}

// A file that cannot be written whole (a full disk; a file size limit stands in for one) fails
// naming that file, not the archive, and leaves nothing behind.
TEST(Extraction, AFullDiskFailsNamingTheFileAndLeavesNothing) {
    TempDir dir;
    WriteFile(dir.File("a.zok"), MakeArchive({HandEntry("big.old", RandomBytes(200000, 3))}));
    const CZokFile zok(dir.File("a.zok"));
    const fs::path out = dir.Path() / "out";
    fs::create_directories(out);
    // In a child, to keep the limit there.
    const int status = RunInChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{50000, 50000};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        Extraction extraction(zok);
        const bool planned = !extraction.Plan(out.string(), {0});
        const ExtractResult result = extraction.Run(ExtractOptions());
        const Error& error = result.items[0].error;
        return planned && error.code == ErrorCode::CannotWrite &&
                       error.path == (out / "big.old").string()
                   ? 0
                   : 1;
    });
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(fs::is_empty(out));
}

}  // namespace
