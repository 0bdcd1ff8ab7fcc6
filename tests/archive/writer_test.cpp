// The writing side: the archive writer's rollback, inputs that change while they are read,
// temporary files on signals, progress from inside a file, cancels, and the parallel encoder's
// window.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
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

TEST(ZokWriter, KeptEntriesAreCopiedWholeFromAnArchiveOnAnyFileSystem) {
    TempDir dir;
    // Larger than one piece of the copy, behind 100 bytes that are not the entry's.
    const std::string stored = RandomBytes((4 << 20) + 1000, 7);
    const std::string old = std::string(100, 'x') + stored;
    WriteFile(dir.File("old.zok"), old);
    const int near = ::open(dir.File("old.zok").c_str(), O_RDONLY | O_CLOEXEC);
    // A memfd lies on a file system of its own: the kernel copies nothing across, so the
    // bytes pass through memory.
    const int far = ::memfd_create("old.zok", MFD_CLOEXEC);
    ASSERT_EQ(::write(far, old.data(), old.size()), ssize_t(old.size()));
    EntryRecord record;
    record.sourceSize = 9;
    record.storedSize = uint32_t(stored.size());
    for (const int fd : {near, far}) {
        SCOPED_TRACE(fd == near ? "the same file system" : "another file system");
        const std::string path = dir.File("new.zok");
        ZokWriter writer({"a.old", "b.old"});
        Error problem{};
        ASSERT_TRUE(writer.Create(path, &problem));
        for (const size_t i : {0, 1}) {
            ASSERT_TRUE(writer.CopyEntry(i, fd, 100, record, "a.old", nullptr, &problem))
                << DescribeProblem(problem);
        }
        ASSERT_TRUE(writer.Commit(true, &problem)) << DescribeProblem(problem);
        const std::string archive = ReadFile(path);
        const std::vector<DirectoryRecord> records = ReadDirectory(archive);
        ASSERT_EQ(records.size(), 2u);
        EXPECT_EQ(records[1].offset, records[0].offset + stored.size());
        EXPECT_EQ(archive.size(), records[1].offset + stored.size());
        for (const DirectoryRecord& r : records) {
            EXPECT_EQ(r.storedSize, stored.size());
            EXPECT_TRUE(archive.substr(r.offset, r.storedSize) == stored);
        }
    }
    ::close(near);
    ::close(far);
}

// Copies size bytes of old, opened with flags, as entry 0, telling onBytes of each piece.
bool CopyOld(ZokWriter& writer, const std::string& old, int flags, uint32_t size,
             const std::function<bool(uint64_t)>& onBytes, Error* problem) {
    return writer.CopyEntry(0, ::open(old.c_str(), flags), 0,
                            EntryRecord{"a.old", 0, 1, size, EntryKind::Other}, "a.old", onBytes,
                            problem);
}

TEST(ZokWriter, AnArchiveThatCannotBeWrittenOrReadOrIsCancelledStopsWithTheReason) {
    struct Row {
        const char* what;
        rlim_t sizeLimit;  // how large the child's files may grow
        ErrorCode expected;
        int errorNumber;
        bool (*write)(ZokWriter& writer, const std::string& old, Error* problem);
        bool far = false;  // old (1 MiB) lies on another file system: copied through memory
    };
    const Row rows[] = {
        {"a header that does not fit", 10, ErrorCode::CannotWrite, EFBIG,
         [](ZokWriter&, const std::string&, Error*) { return true; }},
        {"a copy cancelled at its first piece", RLIM_INFINITY, ErrorCode::Cancelled, 0,
         [](ZokWriter& writer, const std::string& old, Error* problem) {
             return CopyOld(
                 writer, old, O_RDONLY, 1 << 20, [](uint64_t) { return false; }, problem);
         }},
        {"a copy from a file open for writing only", RLIM_INFINITY, ErrorCode::CannotRead, EBADF,
         [](ZokWriter& writer, const std::string& old, Error* problem) {
             return CopyOld(writer, old, O_WRONLY, 1 << 20, nullptr, problem);
         }},
        {"a copy from a file that ends early", RLIM_INFINITY, ErrorCode::CannotRead, EIO,
         [](ZokWriter& writer, const std::string& old, Error* problem) {
             return CopyOld(writer, old, O_RDONLY, 2 << 20, nullptr, problem);
         }},
        // Copied in the kernel up to the limit: a failed write, not a failed read of old.
        {"a copy past a full disk", 500000, ErrorCode::CannotWrite, EFBIG,
         [](ZokWriter& writer, const std::string& old, Error* problem) {
             return CopyOld(writer, old, O_RDONLY, 1 << 20, nullptr, problem);
         }},
        // Its last 256 KiB wait in the stream's buffer until the copy ends.
        {"a copy through memory whose last bytes do not fit", 900000, ErrorCode::CannotWrite, EFBIG,
         [](ZokWriter& writer, const std::string& old, Error* problem) {
             return CopyOld(writer, old, O_RDONLY, (1 << 20) - 1000, nullptr, problem);
         },
         true},
        // The first piece waits in the stream's buffer until the second goes elsewhere.
        {"a piece written elsewhere after one that does not fit", 100000, ErrorCode::CannotWrite,
         EFBIG,
         [](ZokWriter& writer, const std::string&, Error* problem) {
             const std::string piece = RandomBytes(200000, 9);
             const auto* bytes = reinterpret_cast<const uint8_t*>(piece.data());
             return writer.BeginEntry(0, "a.old", problem) &&
                    writer.WriteAt(writer.End(), bytes, piece.size(), problem) &&
                    writer.WriteAt(writer.End() + 300000, bytes, 10, problem);
         }},
        // A codec's bytes that do not fit, stepped back over when its entry failed.
        {"an entry stepped back over after bytes that do not fit", 100000, ErrorCode::CannotWrite,
         EFBIG,
         [](ZokWriter& writer, const std::string&, Error* problem) {
             const uint64_t start = writer.End();
             const std::string bytes = RandomBytes(200000, 9);
             return writer.BeginEntry(0, "a.old", problem) &&
                    std::fwrite(bytes.data(), 1, bytes.size(), writer.Stream()) == bytes.size() &&
                    writer.EndEntry(0, start, 0, 0, EntryKind::Other, "a.old", problem);
         }},
    };
    const std::string bytes = RandomBytes(1 << 20, 8);
    const int far = ::memfd_create("old.zok", 0);
    ASSERT_EQ(::write(far, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TempDir dir;
        WriteFile(dir.File("old.zok"), bytes);
        const std::string old =
            row.far ? "/proc/self/fd/" + std::to_string(far) : dir.File("old.zok");
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::alarm(20);  // a copy that never gives up ends here
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{row.sizeLimit, row.sizeLimit};
            ::setrlimit(RLIMIT_FSIZE, &limit);
            ZokWriter writer({"a.old"});
            Error problem{};
            const bool written =
                writer.Create(dir.File("new.zok"), &problem) && row.write(writer, old, &problem);
            ::_exit(written                                  ? 1
                    : problem.code != row.expected           ? 2
                    : problem.errorNumber != row.errorNumber ? 3
                                                             : 0);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    ::close(far);
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
    EXPECT_EQ(CountIn(dir.Path()), 2u) << "the input and the finished archive only";

    // An upgrade stops the same way, inside the entry: code 5, the archive as it was.
    const std::string old = dir.File("old.zok");
    const std::string bytes = MakeArchive({DeflatedEntry("a.txt", RandomBytes(2 << 20, 4))}, false);
    WriteFile(old, bytes);
    std::atomic<bool> cancel{false};
    int reports = 0;
    bool insideEntry = false;
    uint64_t readAtReport = 0;
    UpgradeOptions upgrade;
    upgrade.cancel = &cancel;
    upgrade.progress = [&](const UpgradeProgress& p) {
        cancel = true;
        ++reports;
        insideEntry = !p.entryDone;
        readAtReport = p.bytesRead;
    };
    EXPECT_EQ(UpgradeArchive(old, true, upgrade), UpgradeResult::Cancelled);
    EXPECT_EQ(reports, 1);
    EXPECT_TRUE(insideEntry);
    EXPECT_LT(readAtReport, uint64_t(2 << 20));
    EXPECT_EQ(ReadFile(old), bytes);
    EXPECT_EQ(CountIn(dir.Path()), 3u);
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
