// The extraction that both programs use keeps every file it writes inside its folder, whatever
// links the folder holds or gains while it runs; it writes the entries of one name in turn, and
// a cancel stops it inside the entry it reads.

#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <map>
#include <thread>

#include "tests/archive/handmade_archive.h"
#include "zok/extract.h"
#include "zok/zok_file.h"

using namespace zok;
using namespace zoktest;
namespace fs = std::filesystem;

namespace {

std::map<std::string, std::string> Files(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_symlink()) {
            files[entry.path().lexically_relative(folder).string()] =
                "-> " + fs::read_symlink(entry.path()).string();
        } else if (entry.is_regular_file()) {
            files[entry.path().lexically_relative(folder).string()] = ReadFile(entry.path());
        }
    }
    return files;
}

ExtractResult ExtractAll(const CZokFile& zok, const std::string& folder, ExistingFiles policy,
                         unsigned threads = 1, std::vector<ExtractItem>* planned = nullptr) {
    std::vector<size_t> all(zok.Count());
    for (size_t i = 0; i < all.size(); ++i) {
        all[i] = i;
    }
    Extraction extraction(zok);
    EXPECT_FALSE(extraction.Plan(folder, all));
    extraction.Decide(policy);
    if (planned != nullptr) {
        *planned = extraction.Items();
    }
    ExtractOptions options;
    options.threads = threads;
    return extraction.Run(options);
}

// Makes openat2 fail with ENOSYS in this process from now on, as on a kernel older than it.
bool WithoutOpenat2() {
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_openat2, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOSYS),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog program{uint16_t(std::size(filter)), filter};
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

TEST(Containment, LinksLeadingOutAreRefusedByNameAndLinksInsideAreFollowed) {
    TempDir dir;
    const fs::path out = dir.Path() / "out";
    const fs::path outside = dir.Path() / "outside";
    fs::create_directories(out / "sub");
    fs::create_directories(outside);
    WriteFile((outside / "victim").string(), "precious");
    WriteFile((out / "sub" / "real.txt").string(), "old");
    fs::create_symlink("real2.txt", out / "sub" / "hop");  // relative to its own folder, sub/
    // A chain sub/l40 -> sub/l39 -> ... -> sub/l1 -> sub/end.txt: forty links are followed as
    // the kernel follows them, one more is a loop.
    for (int i = 1; i <= 40; ++i) {
        fs::create_symlink(i == 1 ? "end.txt" : "l" + std::to_string(i - 1),
                           out / "sub" / ("l" + std::to_string(i)));
    }
    std::string longText;
    for (int i = 0; i < 150; ++i) {
        longText += "./";
    }
    struct Row {
        const char* name;
        std::string linkText;  // empty: no link, a plain new file
        ItemStatus status;
        ErrorCode code;
        const char* writes;  // the file written, relative to out
    };
    const Row rows[] = {
        {"readme.txt", "../outside/victim", ItemStatus::Failed, ErrorCode::LinkLeadsOut, ""},
        {"notes.txt", "../outside/created", ItemStatus::Failed, ErrorCode::LinkLeadsOut, ""},
        {"abs.txt", (outside / "abs").string(), ItemStatus::Failed, ErrorCode::LinkLeadsOut, ""},
        // Absolute, to a name at the top of the file system: still never followed.
        {"root.txt", "/zok-test-root.txt", ItemStatus::Failed, ErrorCode::LinkLeadsOut, ""},
        {"inside.txt", "sub/../sub/real.txt", ItemStatus::Replaced, ErrorCode::None,
         "sub/real.txt"},
        {"chain.txt", "sub/hop", ItemStatus::Written, ErrorCode::None, "sub/real2.txt"},
        {"long.txt", longText + "sub/long.txt", ItemStatus::Written, ErrorCode::None,
         "sub/long.txt"},
        {"self.txt", ".", ItemStatus::Failed, ErrorCode::IsAFolder, ""},
        {"up.txt", "..", ItemStatus::Failed, ErrorCode::IsAFolder, ""},
        {"slash.txt", "sub/", ItemStatus::Failed, ErrorCode::IsAFolder, ""},
        {"loop.txt", "loop.txt", ItemStatus::Failed, ErrorCode::CannotWrite, ""},
        {"forty.txt", "sub/l39", ItemStatus::Written, ErrorCode::None, "sub/end.txt"},
        {"fortyone.txt", "sub/l40", ItemStatus::Failed, ErrorCode::CannotWrite, ""},
        // Inside, but into a folder that is not there: no way out, only nowhere to write.
        {"dangling.txt", "gone/dangling.txt", ItemStatus::Failed, ErrorCode::CannotWrite, ""},
        {"plain.txt", "", ItemStatus::Written, ErrorCode::None, "plain.txt"},
    };
    std::vector<HandEntry> entries;
    for (const Row& row : rows) {
        if (!row.linkText.empty()) {
            fs::create_symlink(row.linkText, out / row.name);
        }
        entries.push_back(DeflatedEntry(row.name, row.name));
    }
    WriteFile(dir.File("a.zok"), MakeArchive(entries));
    const CZokFile zok(dir.File("a.zok"));
    const auto outsideBefore = Files(outside);

    std::vector<ExtractItem> planned;
    const ExtractResult result = ExtractAll(zok, out.string(), ExistingFiles::Replace, 1, &planned);
    for (size_t k = 0; k < std::size(rows); ++k) {
        const Row& row = rows[k];
        SCOPED_TRACE(row.name);
        EXPECT_EQ(result.items[k].status, row.status);
        EXPECT_EQ(result.items[k].error.code, row.code) << DescribeProblem(result.items[k].error);
        if (*row.writes != '\0') {
            EXPECT_EQ(ReadFile((out / row.writes).string()), row.name);
        } else {  // the refusal names the entry's own file, not where its link led
            EXPECT_EQ(result.items[k].error.path, out.string() + "/" + row.name);
        }
    }
    // The question about a link inside names the file that is written.
    EXPECT_TRUE(planned[4].taken);
    EXPECT_EQ(planned[4].writesTo, out.string() + "/sub/../sub/real.txt");
    EXPECT_EQ(Files(outside), outsideBefore);
    EXPECT_FALSE(fs::exists("/zok-test-root.txt"));
    EXPECT_TRUE(fs::is_symlink(out / "inside.txt"));
}

// On a kernel without openat2 only the folder itself is reachable: a link into a folder inside
// it is refused as leading out rather than followed unchecked, and plain names are written.
TEST(Containment, WithoutOpenat2OnlyTheFolderItselfIsReachable) {
    TempDir dir;
    const fs::path out = dir.Path() / "out";
    fs::create_directories(out / "sub");
    fs::create_symlink("sub/in.txt", out / "link.txt");
    WriteFile(dir.File("a.zok"), MakeArchive({DeflatedEntry("link.txt", "link"),
                                              DeflatedEntry("plain.txt", "plain")}));
    const CZokFile zok(dir.File("a.zok"));
    const int status = RunInChild([&] {
        if (!WithoutOpenat2()) {
            return 2;
        }
        const ExtractResult result = ExtractAll(zok, out.string(), ExistingFiles::Replace);
        return result.items[0].error.code == ErrorCode::LinkLeadsOut &&
                       result.items[1].status == ItemStatus::Written
                   ? 0
                   : 1;
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(Files(out), (std::map<std::string, std::string>{{"link.txt", "-> sub/in.txt"},
                                                              {"plain.txt", "plain"}}));
}

// A second thread swaps the folder's names for links that lead out, as fast as it can, while
// 2,000 entries are written on two threads: nothing outside is created or changed.
TEST(Containment, ARaceSwappingNamesForOutwardLinksNeverGetsOut) {
    constexpr int kEntries = 2000;
    TempDir dir;
    std::vector<HandEntry> entries;
    for (int i = 0; i < kEntries; ++i) {
        entries.push_back(DeflatedEntry("f" + std::to_string(100000 + i), "from the archive"));
    }
    WriteFile(dir.File("a.zok"), MakeArchive(entries));
    const CZokFile zok(dir.File("a.zok"));
    for (const ExistingFiles policy : {ExistingFiles::Keep, ExistingFiles::Replace}) {
        SCOPED_TRACE(policy == ExistingFiles::Keep ? "keep" : "replace");
        const fs::path round = dir.Path() / (policy == ExistingFiles::Keep ? "keep" : "replace");
        const fs::path out = round / "out";
        const fs::path outside = round / "outside";
        fs::create_directories(out);
        fs::create_directories(outside);
        for (int i = 0; i < kEntries; i += 2) {
            WriteFile((outside / ("f" + std::to_string(100000 + i))).string(), "theirs");
        }
        const auto outsideBefore = Files(outside);
        std::atomic<bool> done{false};
        std::thread racer([&] {
            while (!done.load()) {
                for (int i = 0; i < kEntries && !done.load(); ++i) {
                    const std::string name = "f" + std::to_string(100000 + i);
                    const fs::path temp = out / (name + ".link");
                    std::error_code ec;
                    fs::create_symlink("../outside/" + name, temp, ec);
                    fs::rename(temp, out / name, ec);
                }
            }
        });
        ExtractAll(zok, out.string(), policy, 2);
        done = true;
        racer.join();
        EXPECT_EQ(Files(outside), outsideBefore);
    }
}

// Entries that share a name write one file: one after another in their order, whatever the
// threads, so that the last one's content is what stays.
TEST(Containment, EntriesOfOneNameAreWrittenInTurnAndTheLastStays) {
    TempDir dir;
    std::vector<HandEntry> entries;
    for (int i = 0; i < 240; ++i) {
        entries.push_back(DeflatedEntry(i % 3 == 0 ? "same.txt" : "f" + std::to_string(i),
                                        std::to_string(i) + TextBytes(20000)));
    }
    WriteFile(dir.File("a.zok"), MakeArchive(entries));
    const CZokFile zok(dir.File("a.zok"));
    for (int round = 0; round < 3; ++round) {
        const fs::path out = dir.Path() / ("out" + std::to_string(round));
        const ExtractResult result = ExtractAll(zok, out.string(), ExistingFiles::Replace, 4);
        EXPECT_EQ(result.written, entries.size());
        EXPECT_EQ(ReadFile((out / "same.txt").string()), "237" + TextBytes(20000));
    }
}

// A cancel stops the run inside the entry being read, and the files this run made go again;
// a file someone put in the place of one of them stays.
TEST(Containment, ACancelStopsInsideAnEntryAndTakesBackTheFilesMade) {
    TempDir dir;
    WriteFile(dir.File("a.zok"), MakeArchive({DeflatedEntry("first.txt", "first"),
                                              DeflatedEntry("second.txt", "second"),
                                              HandEntry("big.old", RandomBytes(8 << 20, 3))}));
    const CZokFile zok(dir.File("a.zok"));
    const fs::path out = dir.Path() / "out";
    Extraction extraction(zok);
    ASSERT_FALSE(extraction.Plan(out.string(), {0, 1, 2}));
    extraction.Decide(ExistingFiles::Keep);
    std::atomic<bool> cancel{false};
    uint64_t reached = 0;
    ExtractOptions options;
    options.cancel = &cancel;
    options.progress = [&](uint64_t done) {
        reached = done;
        if (!cancel && done > 11) {  // once big.old has begun
            WriteFile((out / "theirs").string(), "theirs");
            fs::rename(out / "theirs", out / "second.txt");
            cancel = true;
        }
    };
    const ExtractResult result = extraction.Run(options);
    EXPECT_TRUE(result.cancelled);
    EXPECT_EQ(result.items[2].status, ItemStatus::NotReached);
    EXPECT_LT(reached, extraction.BytesToRead());
    EXPECT_EQ(Files(out), (std::map<std::string, std::string>{{"second.txt", "theirs"}}));
}

// What appears at a name after the plan found it free is left alone when the entry is written:
// a file is kept, a link leading out is refused, a FIFO is not opened, the archive itself is
// not replaced; the failure names the entry and the file.
TEST(Containment, WhatAppearsAfterThePlanIsLeftAlone) {
    TempDir dir;
    WriteFile(dir.File("a.zok"), MakeArchive({DeflatedEntry("late.txt", "ours")}));
    const CZokFile zok(dir.File("a.zok"));
    const fs::path outside = dir.Path() / "outside";
    fs::create_directories(outside);
    const struct {
        std::string what;
        ExistingFiles policy;
        ErrorCode code;
    } rows[] = {{"file", ExistingFiles::Keep, ErrorCode::AlreadyExists},
                {"link", ExistingFiles::Replace, ErrorCode::LinkLeadsOut},
                {"fifo", ExistingFiles::Replace, ErrorCode::IsAFifo},
                {"archive", ExistingFiles::Replace, ErrorCode::OutputIsInput}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const fs::path out = dir.Path() / ("out-" + row.what);
        const fs::path late = out / "late.txt";
        Extraction extraction(zok);
        ASSERT_FALSE(extraction.Plan(out.string(), {0}));
        extraction.Decide(row.policy);
        if (row.what == "file") {
            WriteFile(late.string(), "theirs");
        } else if (row.what == "link") {
            fs::create_symlink("../outside/late.txt", late);
        } else if (row.what == "fifo") {
            ASSERT_EQ(::mkfifo(late.c_str(), 0600), 0);
        } else {
            fs::create_hard_link(dir.File("a.zok"), late);
        }
        const ExtractResult result = extraction.Run(ExtractOptions());
        const Error& error = result.items[0].error;
        EXPECT_EQ(result.items[0].status, ItemStatus::Failed);
        EXPECT_EQ(error.code, row.code) << DescribeProblem(error);
        EXPECT_EQ(error.entry, "late.txt");
        EXPECT_EQ(error.path, late.string());
        const fs::file_status status = fs::symlink_status(late);
        EXPECT_TRUE(row.what == "file"   ? ReadFile(late.string()) == "theirs"
                    : row.what == "link" ? fs::is_symlink(status)
                    : row.what == "fifo" ? fs::is_fifo(status)
                                         : fs::equivalent(late, dir.File("a.zok")));
    }
    EXPECT_TRUE(fs::is_empty(outside));
}

}  // namespace
