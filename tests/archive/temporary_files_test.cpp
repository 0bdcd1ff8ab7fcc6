// Nothing temporary outlives an interrupted program: a signal at each point where a temporary
// name is noted, created, linked or renamed leaves the folder as it was or as it should be, and
// files are written whole where the system has no unnamed files or no way to link them. An
// upgrade's backup is a link or a copy, and neither it nor its scratch file leaves anything behind.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <utility>

#include "archive/upgrade_files.h"
#include "io/atomic_file.h"
#include "io/temporary_files.h"
#include "tests/support/test_support.h"
#include "zok/cleanup.h"

using namespace zok;
using namespace zoktest;
namespace fs = std::filesystem;

namespace {

const char* g_stopAt = nullptr;  // the point at which the child ends itself

void StopHere(const char* point) {
    if (g_stopAt != nullptr && std::strcmp(point, g_stopAt) == 0) {
        ::raise(SIGTERM);
    }
}

// Runs body in a child that removes noted files on signals and ends itself at point; true when
// the point was reached (the child ended by SIGTERM).
template <class Body>
bool EndsAt(const char* point, Body body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        RemoveTemporaryFilesOnSignals();
        g_stopAt = point;
        SetTemporaryFileHook(StopHere);
        body();
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM;
}

// The number the next descriptor opened gets: a higher one means one was left open.
int NextDescriptor() {
    const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ::close(fd);
    return fd;
}

struct Road {
    const char* name;
    bool unnamed, emptyPathLinks, procLinks, replace;
};

TEST(TemporaryFiles, ASignalAtEveryPointLeavesTheOldFileOrTheNewOneAndNothingElse) {
    const Road roads[] = {
        {"named, new file", false, true, true, false},
        {"named, replacing", false, true, true, true},
        {"unnamed, new file", true, true, true, false},
        {"unnamed, replacing", true, true, true, true},
        {"unnamed without a way to link it, replacing", true, false, false, true},
    };
    int reached = 0;
    for (const Road& road : roads) {
        for (const char* point : {"noted", "created", "linked", "renamed", "removed"}) {
            SCOPED_TRACE(std::string(road.name) + " at " + point);
            TempDir dir;
            const std::string target = dir.File("target.zok");
            if (road.replace) {
                WriteFile(target, "old");
            }
            fs::create_directory(dir.Path() / "earlier");
            const bool stopped = EndsAt(point, [&] {
                SetUnnamedFilesForTest(road.unnamed, road.emptyPathLinks, road.procLinks);
                // More files first than the signal handlers have room to note: a name still noted
                // after its file was put in place would crowd out the last file's.
                const char* stop = std::exchange(g_stopAt, nullptr);
                for (int i = 0; i < 70; ++i) {
                    AtomicFile earlier;
                    Error error;
                    if (!earlier.Create(dir.File("earlier/" + std::to_string(i)), &error) ||
                        !earlier.Commit(&error, false, true)) {
                        ::_exit(4);
                    }
                }
                g_stopAt = stop;
                AtomicFile file;
                Error error;
                if (!file.Create(target, &error)) {
                    ::_exit(2);
                }
                std::fputs("new content", file.Get());
                if (!file.Commit(&error, true, road.replace)) {
                    ::_exit(3);
                }
            });
            reached += stopped;
            std::set<std::string> expected = {"earlier"};
            if (road.replace || FileExists(target)) {
                expected.insert("target.zok");
            }
            EXPECT_EQ(NamesIn(dir.Path()), expected);
            EXPECT_EQ(NamesIn(dir.Path() / "earlier").size(), 70u);
            if (FileExists(target)) {
                const std::string content = ReadFile(target);
                EXPECT_TRUE(content == "old" || content == "new content") << content;
            }
        }
    }
    // Every road passes some of the points; none is never reached.
    EXPECT_GE(reached, 10);
}

TEST(TemporaryFiles, FilesAreWrittenWholeWithoutUnnamedFilesOrWaysToLinkThem) {
    for (const Road road :
         {Road{"no O_TMPFILE", false, true, true, false},
          Road{"no linking by descriptor, no /proc", true, false, false, false}}) {
        SCOPED_TRACE(road.name);
        TempDir dir;
        // Larger than one piece of the copy an unnamed file needs when it cannot be linked.
        const std::string second = RandomBytes(200000, 6);
        for (const bool replace : {false, true}) {
            // Each file takes the road anew: the first that cannot be linked ends unnamed files.
            SetUnnamedFilesForTest(road.unnamed, road.emptyPathLinks, road.procLinks);
            AtomicFile file, beside;  // two files written at once, the second never placed
            Error error;
            ASSERT_TRUE(file.Create(dir.File("out.txt"), &error)) << DescribeProblem(error);
            ASSERT_TRUE(beside.Create(dir.File("beside.txt"), &error)) << DescribeProblem(error);
            const std::string& content = replace ? second : "first";
            std::fwrite(content.data(), 1, content.size(), file.Get());
            ASSERT_TRUE(file.Commit(&error, false, replace)) << DescribeProblem(error);
            EXPECT_TRUE(ReadFile(dir.File("out.txt")) == content);
            if (!replace) {
                ::chmod(dir.File("out.txt").c_str(), 0640);
                (void)::chown(dir.File("out.txt").c_str(), 4321, 4321);  // only root may
            }
        }
        SetUnnamedFilesForTest(true, true, true);
        EXPECT_EQ(NamesIn(dir.Path()), std::set<std::string>{"out.txt"});
        struct stat st {};
        ::stat(dir.File("out.txt").c_str(), &st);
        EXPECT_EQ(st.st_mode & 0777, 0640u);
        // The replaced file keeps its owner, when root replaces it.
        if (::geteuid() == 0) {
            EXPECT_EQ(st.st_uid, 4321u);
            EXPECT_EQ(st.st_gid, 4321u);
        }
    }
}

TEST(TemporaryFiles, AnUnnamedFileThatNoLongerFitsWhenCopiedFailsItsCommitAndLeavesNothing) {
    TempDir dir;
    EXPECT_TRUE(EndsAt("never", [&] {
        ::alarm(20);  // a copy that never gives up ends here, by another signal
        std::signal(SIGXFSZ, SIG_IGN);
        SetUnnamedFilesForTest(true, false, false);
        AtomicFile file;
        Error error;
        const std::string bytes = RandomBytes(200000, 7);
        if (!file.Create(dir.File("out.zok"), &error) ||
            std::fwrite(bytes.data(), 1, bytes.size(), file.Get()) != bytes.size() ||
            std::fflush(file.Get()) != 0) {
            ::_exit(2);
        }
        const rlimit limit{100000, 100000};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        if (file.Commit(&error, false, false) || error.errorNumber != EFBIG) {
            ::_exit(3);
        }
        ::raise(SIGTERM);
    }));
    EXPECT_TRUE(NamesIn(dir.Path()).empty());
}

TEST(TemporaryFiles, ANameTakenMeanwhileIsLeftAloneAndUnnamedFilesStayUnnamed) {
    for (const Road road : {Road{"linking by descriptor only", true, true, false, false},
                            Road{"linking through /proc only", true, false, true, false},
                            Road{"named", false, true, true, false}}) {
        SCOPED_TRACE(road.name);
        SetUnnamedFilesForTest(road.unnamed, road.emptyPathLinks, road.procLinks);
        TempDir dir;
        const std::string target = dir.File("out.zok");
        AtomicFile file;
        Error error;
        ASSERT_TRUE(file.Create(target, &error)) << DescribeProblem(error);
        std::fputs("mine", file.Get());
        EXPECT_EQ(NamesIn(dir.Path()).empty(), road.unnamed);
        // Someone else takes the name before the file is placed: theirs stays.
        WriteFile(target, "theirs");
        EXPECT_FALSE(file.Commit(&error, false, false));
        EXPECT_EQ(error.code, ErrorCode::AlreadyExists);
        EXPECT_FALSE(file.Commit(&error, false, true)) << "the refused file is gone";
        EXPECT_EQ(ReadFile(target), "theirs");
        // The next file is still written without a name until it is placed.
        AtomicFile next;
        ASSERT_TRUE(next.Create(dir.File("next.zok"), &error)) << DescribeProblem(error);
        EXPECT_EQ(NamesIn(dir.Path()) == std::set<std::string>{"out.zok"}, road.unnamed);
        ASSERT_TRUE(next.Commit(&error, false, false)) << DescribeProblem(error);
        EXPECT_EQ(NamesIn(dir.Path()), (std::set<std::string>{"out.zok", "next.zok"}));
    }
    SetUnnamedFilesForTest(true, true, true);
}

std::string g_vanishing;  // the folder the hook below removes

TEST(TemporaryFiles, AFolderRemovedWhileTheFileIsCreatedIsReportedMissing) {
    SetUnnamedFilesForTest(false, true, true);
    TempDir dir;
    g_vanishing = dir.File("gone");
    fs::create_directory(g_vanishing);
    SetTemporaryFileHook([](const char*) { ::rmdir(g_vanishing.c_str()); });
    AtomicFile file;
    Error error;
    EXPECT_FALSE(file.Create(g_vanishing + "/out.zok", &error));
    SetTemporaryFileHook(nullptr);
    SetUnnamedFilesForTest(true, true, true);
    EXPECT_EQ(error.code, ErrorCode::CannotWrite);
    EXPECT_EQ(error.errorNumber, ENOENT) << DescribeProblem(error);
}

TEST(TemporaryFiles, AKeptBackupGoesWithASignalUntilTheNewArchiveTookItsName) {
    TempDir dir;
    const std::string archive = dir.File("pics.zok");
    const std::string note = dir.File("stderr");
    for (const bool replaced : {false, true}) {
        SCOPED_TRACE(replaced ? "after the new archive took the name" : "before");
        WriteFile(archive, "old archive");
        EXPECT_TRUE(EndsAt(replaced ? "never" : "created", [&] {
            KeptBackup backup;
            if (!backup.Keep(archive, "kept as ")) {
                ::_exit(2);
            }
            std::freopen(note.c_str(), "w", stderr);
            WriteFile(dir.File("new"), "new archive");
            fs::rename(dir.File("new"), archive);
            ::raise(SIGTERM);
        }));
        EXPECT_EQ(FileExists(dir.File("~pics.zok")), replaced);
        if (replaced) {
            EXPECT_EQ(ReadFile(dir.File("~pics.zok")), "old archive");
            EXPECT_EQ(ReadFile(note), "kept as " + dir.File("~pics.zok") + "\n");
        }
    }
}

TEST(TemporaryFiles, AKeptBackupIsALinkOrACopyOfTheArchiveAndGoesWhenRemoved) {
    TempDir dir;
    const std::string old = RandomBytes(100000, 5);
    WriteFile(dir.File("near.zok"), old);
    // An archive on another file system (a memfd), which no hard link can reach: it is copied.
    const int other = ::memfd_create("far", 0);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::write(other, old.data(), old.size()), ssize_t(old.size()));
    fs::create_symlink("/proc/self/fd/" + std::to_string(other), dir.Path() / "far.zok");
    for (const std::string name : {"near.zok", "far.zok"}) {
        SCOPED_TRACE(name);
        KeptBackup backup;
        ASSERT_TRUE(backup.Keep(dir.File(name), "kept as "));
        EXPECT_EQ(backup.Path(), dir.File("~" + name));
        EXPECT_TRUE(ReadFile(backup.Path()) == old);
        backup.Remove();
        EXPECT_FALSE(FileExists(backup.Path()));
        EXPECT_TRUE(ReadFile(dir.File(name)) == old);
    }
    // A copy whose last bytes do not fit on the disk is no backup: Keep fails and it goes.
    EXPECT_TRUE(EndsAt("never", [&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{old.size() - 1, old.size() - 1};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        KeptBackup backup;
        if (backup.Keep(dir.File("far.zok"), "kept as ")) {
            ::_exit(2);
        }
        ::raise(SIGTERM);
    }));
    EXPECT_FALSE(FileExists(dir.File("~far.zok")));
    ::close(other);
}

std::string g_archive, g_backup;  // what the hooks below change at the last moment

TEST(TemporaryFiles, ABackupThatCannotBeMadeAtTheLastMomentFailsAndLeavesNoFile) {
    struct Row {
        const char* what;
        void (*hook)(const char*);
        std::set<std::string> left;
        bool archive = true;  // whether there is an archive to start with
    };
    const Row rows[] = {
        {"its name taken",
         [](const char*) { WriteFile(g_backup, "theirs"); },
         {"pics.zok", "~pics.zok"}},
        {"the archive removed", [](const char*) { ::unlink(g_archive.c_str()); }, {}},
        {"no archive at all", nullptr, {}, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TempDir dir;
        g_archive = dir.File("pics.zok");
        g_backup = dir.File("~pics.zok");
        if (row.archive) {
            WriteFile(g_archive, "old archive");
        }
        SetTemporaryFileHook(row.hook);
        {
            KeptBackup backup;
            EXPECT_FALSE(backup.Keep(g_archive, "kept as "));
        }
        SetTemporaryFileHook(nullptr);
        EXPECT_EQ(NamesIn(dir.Path()), row.left);
        if (row.left.count("~pics.zok") != 0) {
            EXPECT_EQ(ReadFile(g_backup), "theirs");
        }
    }
}

TEST(TemporaryFiles, AScratchFileLeavesNothingBehindAndAMissingFolderIsNamed) {
    TempDir dir;
    const size_t descriptors = NamesIn("/proc/self/fd").size();
    Error error;
    {
        ScratchFile scratch;
        ASSERT_TRUE(scratch.Create(dir.File("new.zok"), &error)) << DescribeProblem(error);
        EXPECT_TRUE(NamesIn(dir.Path()).empty());
    }
    EXPECT_EQ(NamesIn("/proc/self/fd").size(), descriptors);
    // Descriptor 0 serves too, in a program started with its standard input closed.
    EXPECT_TRUE(EndsAt("never", [&] {
        ::close(0);
        ScratchFile first;
        if (!first.Create(dir.File("new.zok"), &error) || ::fileno(first.Get()) != 0) {
            ::_exit(2);
        }
        ::raise(SIGTERM);
    }));
    ScratchFile scratch;
    EXPECT_FALSE(scratch.Create(dir.File("missing/new.zok"), &error));
    EXPECT_EQ(error.code, ErrorCode::CannotWrite);
    EXPECT_EQ(error.errorNumber, ENOENT) << DescribeProblem(error);
}

TEST(TemporaryFiles, ANotedFolderGoesWithItsFilesOnASignal) {
    TempDir dir;
    const fs::path drag = dir.Path() / "drag";
    for (const bool closedStdin : {false, true}) {
        SCOPED_TRACE(closedStdin ? "standard input closed: descriptor 0 is free" : "as usual");
        fs::create_directories(drag);
        WriteFile((drag / "a.txt").string(), "a");
        WriteFile((drag / "b.png").string(), "b");
        EXPECT_TRUE(EndsAt("never", [&] {
            if (closedStdin) {
                ::close(STDIN_FILENO);
            }
            if (NoteTemporaryFolder(drag.string()) < 0) {
                ::_exit(2);
            }
            ::raise(SIGTERM);
        }));
        EXPECT_FALSE(fs::exists(drag));
    }
}

TEST(TemporaryFiles, ASignalRemovesOnlyWhatIsStillNoted) {
    TempDir dir;
    fs::create_directory(dir.Path() / "kept");
    WriteFile(dir.File("kept/a.txt"), "a");
    WriteFile(dir.File("forgotten.txt"), "the program's own file now");
    WriteFile(dir.File("noted.tmp"), "temporary");
    EXPECT_TRUE(EndsAt("never", [&] {
        const int folder = ::open(dir.Path().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        const int kept = NoteTemporaryFolder(dir.File("kept"));
        ForgetTemporaryFolder(kept);
        // Folders that cannot be noted get no ticket and hold no descriptor.
        const int next = NextDescriptor();
        if (kept < 0 || NoteTemporaryFolder(dir.File("missing/x")) != -1 ||
            NoteTemporaryFolder(dir.File(std::string(NAME_MAX + 1, 'x'))) != -1 ||
            NextDescriptor() != next) {
            ::_exit(2);
        }
        // What is no folder's ticket forgets nothing.
        const int noted = RegisterTemporaryFile(folder, "noted.tmp");
        for (const int ticket : {-1, noted, 64}) {
            ForgetTemporaryFolder(ticket);
        }
        UnregisterTemporaryFile(RegisterTemporaryFile(folder, "forgotten.txt"));
        ::raise(SIGTERM);
    }));
    EXPECT_EQ(NamesIn(dir.Path()), (std::set<std::string>{"kept", "forgotten.txt"}));
    EXPECT_TRUE(FileExists(dir.File("kept/a.txt")));
}

}  // namespace
