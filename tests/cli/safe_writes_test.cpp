// Commands that write leave the user's files as they were unless told to replace them, and
// then replace them whole, with their mode, through their links; they never block on special
// files, and an interrupted command leaves nothing behind.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/archive/handmade_archive.h"
#include "tests/support/image_writers.h"
#include "tests/support/test_support.h"

using namespace zok;

using namespace zoktest;
namespace fs = std::filesystem;

namespace {

CommandResult Zok(const std::vector<std::string>& args, RunOptions options = {}) {
    std::vector<std::string> argv = {ZokPath()};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProgram(argv, options);
}

// zok under a ten-second guard: a command that blocks ends with status 124.
CommandResult Guarded(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {"/usr/bin/timeout", "10", ZokPath()};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProgram(argv);
}

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

TEST(SafeWrites, OutputsNeverDestroyInputs) {
    TempDir dir;
    const std::string a = dir.File("a.txt"), b = dir.File("b.txt"), zok = dir.File("a.zok");
    WriteFile(a, "first input");
    WriteFile(b, "second input");
    // An entry named like the archive itself, to be extracted beside it.
    fs::create_directory(dir.File("sub"));
    WriteFile(dir.File("sub/a.zok"), "an entry named like its archive");
    ASSERT_EQ(Zok({"create", zok, a, b, dir.File("sub/a.zok")}).exitStatus, 0);
    const std::string archive = ReadFile(zok);

    // An input as the output, the archive as a bitmap or alpha output: refused, nothing changed.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"create", a, a, b},
          std::vector<std::string>{"bitmap", zok, "a.txt", zok},
          std::vector<std::string>{"bitmap", "--overwrite", zok, "a.txt", dir.File("x.bmp"),
                                   "--alpha", zok},
          std::vector<std::string>{"extract", "-C", dir.Path().string(), "--overwrite", zok}}) {
        SCOPED_TRACE(args[0]);
        EXPECT_NE(Zok(args).exitStatus, 0);
        EXPECT_EQ(ReadFile(a), "first input");
        EXPECT_EQ(ReadFile(zok), archive);
    }
    // The `*` habit: the archive is among the inputs of its own rebuild and is skipped.
    const CommandResult r = Zok({"create", zok, a, zok, b, dir.File("sub/a.zok")});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_NE(r.err.find("a.zok: skipped: it is the archive being written"), std::string::npos);
    EXPECT_EQ(ReadFile(zok), archive);
}

TEST(SafeWrites, ReplacingKeepsModesAndWritesThroughLinks) {
    TempDir dir;
    const std::string a = dir.File("a.txt"), zok = dir.File("a.zok");
    WriteFile(a, "content");
    ASSERT_EQ(Zok({"create", zok, a}).exitStatus, 0);
    const std::string old = dir.File("old.zok");
    WriteFile(old, MakeArchive({DeflatedEntry("a.txt", "old content")}, false));

    struct Row {
        const char* what;
        std::string file;
        mode_t mode;
        std::vector<std::string> args;
    };
    const std::string extracted = dir.File("out/a.txt");
    fs::create_directory(dir.File("out"));
    WriteFile(extracted, "to be replaced");
    for (const Row& row : {Row{"create", zok, 0600, {"create", zok, a}},
                           Row{"create read-only", zok, 0444, {"create", zok, a}},
                           Row{"upgrade", old, 0640, {"upgrade", "--in-place", old}},
                           Row{"extract",
                               extracted,
                               0600,
                               {"extract", "-C", dir.File("out"), "--overwrite", zok}}}) {
        SCOPED_TRACE(row.what);
        ASSERT_EQ(::chmod(row.file.c_str(), row.mode), 0);
        const CommandResult r = Zok(row.args);
        EXPECT_EQ(r.exitStatus, 0) << r.err;
        EXPECT_EQ(ModeOf(row.file), row.mode);
    }
    EXPECT_EQ(ReadFile(extracted), "content");

    // Through a link, absolute or relative to its own folder (not to the working one): the file
    // it leads to is replaced and the link stays.
    fs::create_directory(dir.File("real"));
    const std::string real = dir.File("real/r.zok");
    fs::create_symlink(real, dir.File("absolute.zok"));
    fs::create_symlink("real/r.zok", dir.File("relative.zok"));
    for (const std::string& link : {dir.File("absolute.zok"), dir.File("relative.zok")}) {
        WriteFile(real, MakeArchive({DeflatedEntry("x.txt", "x")}, false));
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"upgrade", "--in-place", link},
              std::vector<std::string>{"create", link, a}}) {
            SCOPED_TRACE(args[0] + " " + link);
            EXPECT_EQ(Zok(args).exitStatus, 0);
            EXPECT_TRUE(fs::is_symlink(link));
            EXPECT_EQ(ReadFile(real).substr(0, 6), "ZOK110");
        }
        EXPECT_EQ(Zok({"cat", real, "a.txt"}).out, "content");
    }
}

TEST(SafeWrites, SpecialFilesAreRefusedWithoutBlocking) {
    TempDir dir;
    const std::string fifo = dir.File("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    WriteFile(dir.File("a.txt"), "a");
    WriteFile(dir.File("p.png"), MakePng(PngImageFromRgba(PatternImage(2, 2, 1), false)));
    ASSERT_EQ(Zok({"create", dir.File("a.zok"), dir.File("a.txt"), dir.File("p.png")}).exitStatus,
              0);
    WriteFile(dir.File("old.zok"), MakeArchive({DeflatedEntry("a.txt", "a")}, false));
    // A FIFO of an entry's name in the folder extracted into.
    fs::create_directory(dir.File("out"));
    ASSERT_EQ(::mkfifo(dir.File("out/a.txt").c_str(), 0600), 0);
    // As an input or an archive, and as an output even when replacing is allowed.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"create", dir.File("x.zok"), dir.File("a.txt"), fifo},
          std::vector<std::string>{"list", fifo}, std::vector<std::string>{"test", fifo},
          std::vector<std::string>{"cat", fifo, "a.txt"}, std::vector<std::string>{"upgrade", fifo},
          std::vector<std::string>{"create", fifo, dir.File("a.txt")},
          std::vector<std::string>{"bitmap", "--overwrite", dir.File("a.zok"), "p.png", fifo},
          std::vector<std::string>{"upgrade", "--overwrite", "-o", fifo, dir.File("old.zok")},
          std::vector<std::string>{"extract", "--overwrite", "-C", dir.File("out"),
                                   dir.File("a.zok"), "a.txt"}}) {
        SCOPED_TRACE(args[0] + " " + args.back());
        const CommandResult r = Guarded(args);
        EXPECT_EQ(r.exitStatus, 1);
        EXPECT_NE(r.err.find("is a FIFO"), std::string::npos) << r.err;
    }
    EXPECT_FALSE(FileExists(dir.File("x.zok")));
    struct stat st {};
    EXPECT_TRUE(::stat(fifo.c_str(), &st) == 0 && S_ISFIFO(st.st_mode));
    EXPECT_TRUE(::stat(dir.File("out/a.txt").c_str(), &st) == 0 && S_ISFIFO(st.st_mode));
}

// Waits until the command has read part of its input, then stops it with sig.
int InterruptMidway(pid_t pid, const std::string& input, int sig) {
    const uint64_t size = fs::file_size(input);
    for (int tries = 0; tries < 2000; ++tries) {
        std::error_code ec;
        for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
            if (fs::read_symlink(fd.path(), ec) != input) {
                continue;
            }
            const std::string info = ReadFile("/proc/" + std::to_string(pid) + "/fdinfo/" +
                                              fd.path().filename().string());
            const uint64_t pos = std::stoull(info.substr(info.find(':') + 1));
            if (pos > 0 && pos < size) {
                ::kill(pid, sig);
                int status = 0;
                ::waitpid(pid, &status, 0);
                return WIFSIGNALED(status) ? WTERMSIG(status) : -1;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    return -1;
}

TEST(SafeWrites, AnInterruptedCommandLeavesNothing) {
    TempDir dir;
    const std::string big = dir.File("big.bin");
    WriteFile(big, RandomBytes(48 << 20, 7));
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(sig);
        const pid_t pid = ::fork();
        if (pid == 0) {
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 2);
            ::execl(ZokPath().c_str(), "zok", "create", "-j", "1", dir.File("out.zok").c_str(),
                    big.c_str(), nullptr);
            ::_exit(127);
        }
        EXPECT_EQ(InterruptMidway(pid, big, sig), sig);
        EXPECT_EQ(CountIn(dir.Path().string()), 1u) << "only the input is left";
    }
}

TEST(SafeWrites, AFileThatIsNotAnArchiveIsNeverUpgraded) {
    TempDir dir;
    const std::string disk = dir.File("disk.img");
    const std::string bytes = std::string(4, '\0') + "a disk image, not an archive";
    WriteFile(disk, bytes);
    const CommandResult r = Zok({"upgrade", "--in-place", disk});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_NE(r.err.find("disk.img: not a ZOK archive"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile(disk), bytes);
    EXPECT_EQ(CountIn(dir.Path().string()), 1u);
}

TEST(SafeWrites, NamesLongAndStrange) {
    TempDir dir;
    // Control bytes in a name reach the terminal escaped.
    CommandResult r = Zok({"create", dir.File("c.zok"), dir.File("gone\x1b[2J")});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_NE(r.err.find("gone\\x1B[2J"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find('\x1b'), std::string::npos);

    // A name of 255 bytes, the longest a file system takes, is replaced like any other.
    const std::string name = std::string(251, 'n') + ".txt";
    WriteFile(dir.File(name), "long");
    ASSERT_EQ(Zok({"create", dir.File("l.zok"), dir.File(name)}).exitStatus, 0);
    for (int round = 0; round < 2; ++round) {
        r = Zok({"extract", "--overwrite", "-C", dir.File("out"), dir.File("l.zok")});
        EXPECT_EQ(r.exitStatus, 0) << r.err;
    }
    EXPECT_EQ(ReadFile(dir.File("out/" + name)), "long");
}

TEST(SafeWrites, StandardOutputThatCannotBeWrittenIsAFailure) {
    TempDir dir;
    WriteFile(dir.File("a.txt"), "a");
    ASSERT_EQ(Zok({"create", dir.File("a.zok"), dir.File("a.txt")}).exitStatus, 0);
    // A last line longer than the output's buffer: its write fails and leaves the buffer empty,
    // so that only the stream's error flag still tells.
    WriteFile(dir.File("long.zok"), MakeArchive({DeflatedEntry(std::string(9000, 'n'), "n")}));
    struct Row {
        std::vector<std::string> args;
        bool toStderr;  // /dev/full takes the standard error instead of the output
    };
    for (const Row& row :
         {Row{{"test", dir.File("a.zok")}, false}, Row{{"--help"}, false},
          Row{{"--version"}, false}, Row{{"list", dir.File("a.zok")}, false},
          Row{{"list", dir.File("long.zok")}, false},
          // Written, but its warning (the archive among its inputs) is lost.
          Row{{"create", dir.File("a.zok"), dir.File("a.txt"), dir.File("a.zok")}, true}}) {
        RunOptions full;
        (row.toStderr ? full.stderrPath : full.stdoutPath) = "/dev/full";
        EXPECT_EQ(Zok(row.args, full).exitStatus, 1) << row.args[0] << " " << row.args.back();
    }
}

TEST(CommandLine, FoldersProblemsAndWordsAsPeopleExpect) {
    TempDir dir;
    fs::create_directories(dir.File("in/sub"));
    WriteFile(dir.File("in/b.txt"), "b");
    WriteFile(dir.File("in/a.txt"), "a");
    WriteFile(dir.File("in/sub/A.TXT"), "A");
    // Names that clash once the folder is flattened are refused, unless allowed.
    CommandResult r = Zok({"create", dir.File("f.zok"), dir.File("in")});
    EXPECT_EQ(r.exitStatus, 2) << r.err;
    EXPECT_NE(r.err.find("A.TXT: its name \"A.TXT\" is taken already by " + dir.File("in/a.txt")),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(FileExists(dir.File("f.zok")));
    r = Zok({"create", "--allow-duplicate-names", dir.File("f.zok"), dir.File("in")});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_NE(r.err.find("warning: "), std::string::npos) << r.err;
    r = Zok({"list", "--json", dir.File("f.zok")});
    const size_t a = r.out.find("\"a.txt\""), b = r.out.find("\"b.txt\""),
                 upper = r.out.find("\"A.TXT\"");
    EXPECT_TRUE(a < b && b < upper) << r.out;

    // Every problem among the inputs is named before anything is written.
    r = Zok({"create", dir.File("g.zok"), dir.File("missing1"), dir.File("in/a.txt"),
             dir.File("missing2")});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_NE(r.err.find("missing1: No such file"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("missing2: No such file"), std::string::npos) << r.err;
    EXPECT_FALSE(FileExists(dir.File("g.zok")));

    struct Row {
        std::vector<std::string> args;
        int status;
        const char* said;
    };
    for (const Row& row :
         {Row{{"-x"}, 2, "unknown option: -x"}, Row{{"x"}, 2, "unknown command: x"},
          Row{{"help", "nope"}, 2, "unknown command: nope"},
          Row{{"help", "extract"}, 0, "Usage: zok extract"}, Row{{"help"}, 0, "Usage: zok"}}) {
        r = Zok(row.args);
        EXPECT_EQ(r.exitStatus, row.status) << row.args[0];
        EXPECT_NE((r.out + r.err).find(row.said), std::string::npos) << r.out << r.err;
    }
}

TEST(CommandLine, UpgradeThatCouldNotEncodeEveryEntryKeepsTheOldArchive) {
    TempDir dir;
    const std::string path = dir.File("pics.zok");
    // A stored bitmap the picture codec does not take (16 bits per pixel).
    const std::string odd = AssembleBmp(2, 2, 16, BmpLayout{}, "", std::string(8, '\x11'));
    const std::string bytes =
        MakeArchive({HandEntry("odd.bmp", odd, 1), DeflatedEntry("a.txt", "a")}, false);
    WriteFile(path, bytes);
    const CommandResult r = Zok({"upgrade", "--in-place", path});
    EXPECT_EQ(r.exitStatus, 3) << r.err;
    EXPECT_NE(r.err.find("\"odd.bmp\" could not be encoded again"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("kept as " + dir.File("~pics.zok")), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile(dir.File("~pics.zok")), bytes);
    EXPECT_EQ(Zok({"cat", path, "a.txt"}).out, "a");
}

}  // namespace
