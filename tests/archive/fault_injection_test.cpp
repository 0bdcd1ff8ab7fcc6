#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <functional>

#include "archive/checked_inputs.h"
#include "archive/zok_writer.h"
#include "codecs/codec_table.h"
#include "io/atomic_file.h"
#include "io/file_handle.h"
#include "io/input_file.h"
#include "io/temporary_files.h"
#include "tests/support/test_support.h"
#include "zok/build_archive.h"

using namespace zok;

using namespace zoktest;

namespace {

void OpenUp(const TempDir& dir) {
    ::chmod(dir.Path().c_str(), 0777);
}

TEST(FaultInjection, CrashMidBuildLeavesNoArchiveAtTheTarget) {
    TempDir dir;
    std::vector<std::string> inputs;
    for (int i = 0; i < 4; ++i) {
        inputs.push_back(dir.File("f" + std::to_string(i) + ".txt"));
        WriteFile(inputs.back(), TextBytes(50000));
    }
    const std::string out = dir.File("crash.zok");
    WriteFile(out, "the archive from yesterday");
    const int status = RunInChild(
        [&] {
            // Dies hard after the second file, as a power cut or kill -9 would.
            BuildArchive(inputs, out, [](int32_t done, uint32_t, uint32_t) {
                if (done == 2) {
                    ::raise(SIGKILL);
                }
            });
            return 0;
        },
        false);
    EXPECT_EQ(status, 128 + SIGKILL);
    EXPECT_EQ(ReadFile(out), "the archive from yesterday");
}

TEST(FaultInjection, OutputFolderWithoutWritePermissionFails) {
    TempDir dir;
    OpenUp(dir);
    const std::string input = dir.File("in.txt");
    WriteFile(input, "data");
    std::filesystem::create_directory(dir.Path() / "locked");
    ::chmod(dir.File("locked").c_str(), 0555);
    const std::string out = dir.File("locked/out.zok");
    const int status = RunInChild(
        [&] {
            BuildReport report;
            if (BuildArchive({input}, out, nullptr, &report)) {
                return 1;
            }
            return Problems(report).find("Permission denied") != std::string::npos &&
                           Problems(report).find(out) != std::string::npos
                       ? 0
                       : 2;
        },
        true);
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(FileExists(out));
}

std::string g_folder;  // made read-only by the hook below

// Through an atomic file alone and through the archive writer: the reason is the system's.
TEST(FaultInjection, AFolderMadeReadOnlyBeforeTheFileIsPlacedKeepsTheOldFile) {
    for (const bool archive : {false, true}) {
        SCOPED_TRACE(archive ? "archive writer" : "atomic file");
        TempDir dir;
        const std::string target = dir.File("out.zok");
        WriteFile(target, "old");
        g_folder = dir.Path().string();
        // The child's own folder, so that it may take its write permission away.
        if (::geteuid() == 0) {
            ASSERT_EQ(::chown(g_folder.c_str(), 65534, 65534), 0);
        }
        const int status = RunInChild(
            [&] {
                SetTemporaryFileHook([](const char*) { ::chmod(g_folder.c_str(), 0555); });
                Error error;
                if (archive) {
                    ZokWriter writer({});
                    if (!writer.Create(target, &error)) {
                        return 2;
                    }
                    if (writer.Commit(true, &error)) {
                        return 3;
                    }
                } else {
                    AtomicFile file;
                    if (!file.Create(target, &error)) {
                        return 2;
                    }
                    std::fputs("new", file.Get());
                    if (file.Commit(&error, false, true)) {
                        return 3;
                    }
                }
                return error.code == ErrorCode::CannotWrite && error.errorNumber == EACCES ? 0 : 4;
            },
            true);
        OpenUp(dir);
        EXPECT_EQ(status, 0);
        EXPECT_EQ(ReadFile(target), "old");
        EXPECT_EQ(CountIn(dir.Path()), 1u);
    }
}

TEST(FaultInjection, InputThatBecameUnreadableFailsTheBuild) {
    TempDir dir;
    OpenUp(dir);
    const std::string readable = dir.File("a.txt"), secret = dir.File("secret.txt");
    WriteFile(readable, "a");
    WriteFile(secret, "b");
    ::chmod(secret.c_str(), 0000);
    const std::string out = dir.File("out.zok");
    const int status = RunInChild(
        [&] {
            BuildReport report;
            if (BuildArchive({readable, secret}, out, nullptr, &report)) {
                return 1;
            }
            return Problems(report).find(secret) != std::string::npos &&
                           Problems(report).find("Permission denied") != std::string::npos
                       ? 0
                       : 2;
        },
        true);
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(FileExists(out));
    EXPECT_EQ(CountIn(dir.Path()), 2u);
}

TEST(Limits, InputsOfTwoGibibytesAreRefusedBeforeWriting) {
    TempDir dir;
    const std::string huge = dir.File("huge.old");
    {
        FileHandle f = FileHandle::Open(huge, "wb");
        ASSERT_TRUE(f);
        ASSERT_EQ(::ftruncate(::fileno(f.Get()), off_t(1) << 31), 0);  // sparse
    }
    const std::string out = dir.File("out.zok");
    BuildReport report;
    EXPECT_FALSE(BuildArchive({huge}, out, nullptr, &report));
    EXPECT_NE(Problems(report).find(huge), std::string::npos);
    EXPECT_NE(Problems(report).find("file-too-large"), std::string::npos) << Problems(report);
    EXPECT_FALSE(FileExists(out));
    // One byte less is still packed.
    ASSERT_EQ(::truncate(huge.c_str(), off_t(0x7FFFFFFF)), 0);
    const std::vector<std::string> paths = {huge};
    CheckedInputs below(paths, 1);
    std::vector<Error> problems;
    below.Check(out, {std::string("huge.old")}, problems);
    EXPECT_TRUE(problems.empty()) << DescribeProblem(problems.at(0));
    InputFile atLimit;
    Error atLimitProblem{};
    EXPECT_TRUE(atLimit.Open(huge, &atLimitProblem)) << DescribeProblem(atLimitProblem);
    ASSERT_EQ(::truncate(huge.c_str(), off_t(1) << 31), 0);
    // An open stream (the upgrade's temporary file) is measured the same way when it is read.
    for (const bool stream : {false, true}) {
        InputFile input;
        Error problem{};
        const FileHandle file = FileHandle::Open(huge, "rb");
        EXPECT_FALSE(stream ? input.Adopt(file.Get(), huge, &problem) : input.Open(huge, &problem));
        EXPECT_EQ(problem.code, ErrorCode::FileTooLarge);
    }
}

TEST(Limits, AnArchiveThatWouldPassTwoGibibytesIsRefused) {
    // The first entry ends right at the limit (a sparse file): the next may start there but not
    // end past it, and nothing is left behind.
    TempDir dir;
    {
        ZokWriter writer({"a.old", "b.old"});
        Error problem{};
        ASSERT_TRUE(writer.Create(dir.File("big.zok"), &problem));
        ASSERT_TRUE(writer.BeginEntry(0, "a.old", &problem));
        ASSERT_TRUE(writer.EndEntry(0, 0x7FFFFFFF, 0, 0, EntryKind::Other, "a.old", &problem));
        ASSERT_TRUE(writer.BeginEntry(1, "b.old", &problem));
        EXPECT_FALSE(writer.EndEntry(1, 0x80000000u, 1, 1, EntryKind::Other, "b.old", &problem));
        EXPECT_EQ(problem.code, ErrorCode::ArchiveWouldBeTooLarge);
        EXPECT_EQ(problem.path, "b.old");
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

}  // namespace
