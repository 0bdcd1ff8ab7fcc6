// The writing side: the archive writer's rollback, inputs that change while they are read,
// temporary files on signals, progress from inside a file, cancels, and the parallel encoder's
// window.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "archive/entry_kinds.h"
#include "archive/entry_writer.h"
#include "archive/zok_writer.h"
#include "io/atomic_file.h"
#include "io/temporary_files.h"
#include "tests/archive/handmade_archive.h"
#include "tests/support/test_support.h"
#include "zok/build_archive.h"
#include "zok/upgrade_archive.h"
#include "zok/zok_file.h"

using namespace zok;

using namespace zoktest;
namespace fs = std::filesystem;

namespace {

size_t Entries(const fs::path& folder) {
    return size_t(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

TEST(ZokWriter, AFailedEntryIsSteppedOverAndNothingFollowsTheLast) {
    TempDir dir;
    const std::string path = dir.File("w.zok");
    ZokWriter writer({"a.txt", "b.txt"});
    Error problem{};
    ASSERT_TRUE(writer.Create(path, &problem));
    const uint64_t start = writer.End();
    // A codec wrote 100 bytes and failed: the entry ends where it began, stored size 0.
    ASSERT_TRUE(writer.BeginEntry(0, "a.txt", &problem));
    std::fwrite(std::string(100, 'g').data(), 1, 100, writer.Stream());
    ASSERT_TRUE(writer.EndEntry(0, start, 7, 0, EntryKind::Other, "a.txt", &problem));
    ASSERT_TRUE(writer.BeginEntry(1, "b.txt", &problem));
    const std::string stream = Deflate("b");
    std::fwrite(stream.data(), 1, stream.size(), writer.Stream());
    ASSERT_TRUE(writer.EndEntry(1, writer.StreamPosition(), 1, uint32_t(stream.size()),
                                EntryKind::Other, "b.txt", &problem));
    ASSERT_TRUE(writer.Commit(true, &problem));
    EXPECT_EQ(fs::file_size(path), start + stream.size());
    const CZokFile zok(path);
    EXPECT_EQ(zok.Record(0).offset, start);
    EXPECT_EQ(zok.Record(1).offset, start);
    std::string b(1, '\0');
    EXPECT_TRUE(zok.ExtractEntry("b.txt", reinterpret_cast<uint8_t*>(b.data())));
    EXPECT_EQ(b, "b");
}

TEST(InputFiles, AnInputThatChangesWhileReadFailsItsEntry) {
    struct Row {
        const char* what;
        const char* name;  // chooses the codec
        void (*change)(const std::string&);
    };
    const auto shrink = [](const std::string& p) { fs::resize_file(p, 500); };
    const auto grow = [](const std::string& p) { WriteFile(p, TextBytes(3000)); };
    const auto touch = [](const std::string& p) {
        const timespec times[2] = {{0, UTIME_OMIT}, {12345, 0}};
        ::utimensat(AT_FDCWD, p.c_str(), times, 0);
    };
    for (const Row& row :
         {Row{"shrunk, deflated", "a.txt", +shrink}, Row{"grown, stored", "a.old", +grow},
          Row{"rewritten in place, deflated", "a.txt", +touch}}) {
        SCOPED_TRACE(row.what);
        TempDir dir;
        const std::string path = dir.File(row.name);
        WriteFile(path, TextBytes(2000));
        InputFile input;
        Error problem{};
        ASSERT_TRUE(input.Open(path, &problem));
        row.change(path);
        const CCodecTable codecs;
        FileHandle archive(std::tmpfile());
        EntryRecord record;
        EXPECT_EQ(
            EncodeInput(codecs, input, WriteRuleFor(row.name), archive.Get(), record, &problem),
            EntryWriteStatus::Failed);
        EXPECT_EQ(problem.code, ErrorCode::FileChanged);
        EXPECT_EQ(problem.path, path);
    }
}

TEST(InputFiles, ReadsGiveTheWholeFileWhateverErrnoHeldAndReportOnceAMegabyte) {
    TempDir dir;
    const std::string path = dir.File("a.bin");
    const std::string bytes = RandomBytes(3 << 20, 5);
    WriteFile(path, bytes);
    InputFile input;
    Error problem{};
    ASSERT_TRUE(input.Open(path, &problem)) << DescribeProblem(problem);
    // A codec may measure the input by seeking from its end, then start from its first byte.
    ASSERT_EQ(fseeko(input.Stream(), -10, SEEK_END), 0);
    EXPECT_EQ(ftello(input.Stream()), off_t(bytes.size()) - 10);
    ASSERT_EQ(fseeko(input.Stream(), 0, SEEK_SET), 0);
    int reports = 0;
    input.OnRead([&](uint64_t) { ++reports; });
    std::string read;
    std::vector<char> piece(50000);
    for (size_t n = 1; n > 0;) {
        // What the caller's last failed call left behind, a progress hook's for one.
        errno = EAGAIN;
        n = std::fread(piece.data(), 1, piece.size(), input.Stream());
        read.append(piece.data(), n);
    }
    EXPECT_TRUE(read == bytes) << read.size();
    EXPECT_FALSE(input.ReadFailed(&problem)) << DescribeProblem(problem);
    EXPECT_TRUE(input.Unchanged(&problem)) << DescribeProblem(problem);
    EXPECT_GE(reports, 1);
    EXPECT_LE(reports, 3);
    // As on any file, there is nothing before the first byte to seek to.
    EXPECT_NE(fseeko(input.Stream(), -off_t(bytes.size()) - 1000, SEEK_END), 0);
}

TEST(InputFiles, AFileThatCannotBeOpenedOrReadFailsWithTheSystemsReason) {
    TempDir dir;
    InputFile missing;
    Error problem{};
    EXPECT_FALSE(missing.Open(dir.File("missing.txt"), &problem));
    EXPECT_EQ(problem.code, ErrorCode::CannotRead);
    EXPECT_EQ(problem.errorNumber, ENOENT);
    InputFile folder;
    EXPECT_FALSE(folder.Open(dir.Path().string(), &problem));
    EXPECT_EQ(problem.code, ErrorCode::IsAFolder);

    // A regular file to the kernel whose first byte cannot be read: address 0 of this process.
    const std::string path = "/proc/self/mem";
    InputFile input;
    ASSERT_TRUE(input.Open(path, &problem)) << DescribeProblem(problem);
    char byte = 0;
    EXPECT_EQ(std::fread(&byte, 1, 1, input.Stream()), 0u);
    ASSERT_TRUE(input.ReadFailed(&problem));
    EXPECT_EQ(problem.code, ErrorCode::CannotRead);
    EXPECT_EQ(problem.errorNumber, EIO);
    EXPECT_EQ(problem.path, path);
}

TEST(BuildOptions, ProgressComesFromInsideAFileAndACancelLeavesNothing) {
    TempDir dir;
    const std::string big = dir.File("big.bin");
    WriteFile(big, RandomBytes(6 << 20, 3));
    for (unsigned threads : {1u, 2u}) {
        SCOPED_TRACE(threads);
        std::vector<BuildProgress> seen;
        BuildOptions options;
        options.threads = threads;
        options.progress = [&seen](const BuildProgress& p) { seen.push_back(p); };
        ASSERT_TRUE(BuildArchive({big, big}, dir.File("ok.zok"), nullptr, nullptr, options));
        ASSERT_GE(seen.size(), 4u);
        EXPECT_FALSE(seen.front().fileDone);
        EXPECT_GT(seen.front().bytesRead, 0u);
        EXPECT_LT(seen.front().bytesRead, uint64_t(6 << 20));
        EXPECT_TRUE(seen.back().fileDone);
        EXPECT_EQ(seen.back().bytesDone, uint64_t(12 << 20));
        EXPECT_EQ(seen.front().bytesTotal, uint64_t(12 << 20));

        // Cancelled at the first report, from inside the first file: the reads stop there. (On
        // more threads the count takes each input's rest once it ends, so one thread shows it.)
        std::atomic<bool> cancel{false};
        uint64_t lastRead = 0;
        options.cancel = &cancel;
        options.progress = [&](const BuildProgress& p) {
            cancel = true;
            lastRead = std::max(lastRead, p.bytesRead);
        };
        BuildReport report;
        EXPECT_FALSE(
            BuildArchive({big, big}, dir.File("cancelled.zok"), nullptr, &report, options));
        ASSERT_EQ(report.problems.size(), 1u) << Problems(report);
        EXPECT_EQ(report.problems[0].code, ErrorCode::Cancelled);
        if (threads == 1) {
            EXPECT_LT(lastRead, uint64_t(6 << 20));
        }
        EXPECT_FALSE(FileExists(dir.File("cancelled.zok")));
    }
    EXPECT_EQ(Entries(dir.Path()), 2u) << "the input and the finished archive only";

    // An upgrade stops the same way, inside the entry: code 5, the archive as it was.
    const std::string old = dir.File("old.zok");
    const std::string bytes = MakeArchive({DeflatedEntry("a.txt", RandomBytes(2 << 20, 4))}, false);
    WriteFile(old, bytes);
    std::atomic<bool> cancel{false};
    int reports = 0;
    uint64_t readAtReport = 0;
    UpgradeOptions upgrade;
    upgrade.cancel = &cancel;
    upgrade.progress = [&](const UpgradeProgress& p) {
        cancel = true;
        ++reports;
        readAtReport = p.bytesRead;
    };
    EXPECT_EQ(UpgradeArchive(old, true, upgrade), UpgradeResult::Cancelled);
    EXPECT_EQ(reports, 1);
    EXPECT_LT(readAtReport, uint64_t(2 << 20));
    EXPECT_EQ(ReadFile(old), bytes);
    EXPECT_EQ(Entries(dir.Path()), 3u);
}

int g_slowCalls = 0;
void SlowProgress(int32_t, uint32_t, uint32_t) {
    ++g_slowCalls;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
}

TEST(ParallelBuild, MoreInputsThanTheWindowWithACapThatDoesNotBind) {
    // The workers run ahead until the window of claimed inputs is full, not the byte cap: a
    // window that never frees a slot would stop the build here.
    TempDir dir;
    std::vector<std::string> paths;
    for (int i = 0; i < 1100; ++i) {
        paths.push_back(dir.File("f" + std::to_string(i) + ".txt"));
        WriteFile(paths.back(), "file " + std::to_string(i));
    }
    BuildOptions options;
    options.threads = 2;
    options.maxBytesAhead = 256u << 20;
    g_slowCalls = 0;
    ASSERT_TRUE(BuildArchive(paths, dir.File("p.zok"), SlowProgress, nullptr, options));
    EXPECT_EQ(g_slowCalls, 1100);
    options.threads = 1;
    ASSERT_TRUE(BuildArchive(paths, dir.File("s.zok"), nullptr, nullptr, options));
    EXPECT_TRUE(ReadFile(dir.File("p.zok")) == ReadFile(dir.File("s.zok")));
}

}  // namespace
