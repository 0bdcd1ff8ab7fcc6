// Inputs are opened once when they are checked (or when an InputSet named them), and that
// descriptor is read, within a budget of descriptors; past it an input is opened again and must
// be the file that was checked.

#include "archive/checked_inputs.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>

#include "archive/entry_kinds.h"
#include "archive/entry_writer.h"
#include "codecs/codec_table.h"
#include "tests/support/test_support.h"
#include "zok/inputs.h"

using namespace zok;

using namespace zoktest;

namespace {

// Opens the first checked input as a build does and packs it as a.txt into a scratch archive.
EntryWriteStatus EncodeChecked(CheckedInputs& inputs, Error* problem) {
    InputFile input;
    if (!inputs.Open(0, input, problem)) {
        return EntryWriteStatus::Failed;
    }
    const CCodecTable codecs;
    FileHandle archive(std::tmpfile());
    EntryRecord record;
    return EncodeInput(codecs, input, WriteRuleFor("a.txt"), archive.Get(), record, problem);
}

TEST(CheckedInputs, AnInputChangedBetweenTheCheckAndTheReadIsRefused) {
    using Change = void (*)(const std::string& path, const TempDir& dir);
    const Change rewrite = [](const std::string& path, const TempDir&) {
        WriteFile(path, TextBytes(3000));
    };
    const Change touch = [](const std::string& path, const TempDir&) {
        const timespec times[2] = {{0, UTIME_OMIT}, {12345, 0}};
        ::utimensat(AT_FDCWD, path.c_str(), times, 0);
    };
    const Change replace = [](const std::string& path, const TempDir& dir) {
        WriteFile(dir.File("copy"), ReadFile(path));
        std::filesystem::rename(dir.File("copy"), path);
    };
    const Change folder = [](const std::string& path, const TempDir&) {
        std::filesystem::remove(path);
        std::filesystem::create_directory(path);
    };
    struct Row {
        const char* what;
        size_t budget;  // 1: the descriptor of the check is read; 0: the input is opened again
        Change change;
        bool fromSet = false;  // opened by an InputSet, changed before the build's check
    };
    // A file replaced under a descriptor that is read is refused too: unlinking it changed it.
    for (const Row& row : {Row{"rewritten, checked descriptor", 1, rewrite},
                           Row{"touched, checked descriptor", 1, touch},
                           Row{"replaced by a copy, checked descriptor", 1, replace},
                           Row{"rewritten, opened again", 0, rewrite},
                           Row{"replaced by a copy, opened again", 0, replace},
                           Row{"replaced by a folder, opened again", 0, folder},
                           Row{"rewritten, set's descriptor", 1, rewrite, true},
                           Row{"replaced by a copy, set's descriptor", 1, replace, true}}) {
        SCOPED_TRACE(row.what);
        TempDir dir;
        const std::vector<std::string> paths = {dir.File("a.txt")};
        WriteFile(paths[0], TextBytes(2000));
        std::optional<InputSet> set;
        std::optional<CheckedInputs> inputs;
        if (row.fromSet) {
            set.emplace(paths);
            row.change(paths[0], dir);
            inputs.emplace(*set, row.budget);
        } else {
            inputs.emplace(paths, row.budget);
        }
        std::vector<Error> problems;
        inputs->Check(dir.File("out.zok"), {std::string("a.txt")}, problems);
        ASSERT_TRUE(problems.empty());
        if (!row.fromSet) {
            row.change(paths[0], dir);
        }

        Error problem{};
        const EntryWriteStatus status = EncodeChecked(*inputs, &problem);
        EXPECT_EQ(status, EntryWriteStatus::Failed);
        EXPECT_EQ(problem.code, ErrorCode::FileChanged);
        EXPECT_EQ(problem.path, paths[0]);
    }
}

TEST(CheckedInputs, AnInputWhoseFolderMovedIsReadFromTheCheckedDescriptorOrNotAtAll) {
    // 2: named to an InputSet, and the folder moved before the build's check.
    for (const size_t budget : {2, 1, 0}) {
        SCOPED_TRACE(budget);
        TempDir dir;
        std::filesystem::create_directory(dir.File("in"));
        const std::vector<std::string> paths = {dir.File("in/a.txt")};
        WriteFile(paths[0], TextBytes(2000));
        std::optional<InputSet> set;
        std::optional<CheckedInputs> inputs;
        if (budget == 2) {
            set.emplace(paths);
            std::filesystem::rename(dir.File("in"), dir.File("moved"));
            inputs.emplace(*set, budget);
        } else {
            inputs.emplace(paths, budget);
        }
        std::vector<Error> problems;
        inputs->Check(dir.File("out.zok"), {std::string("a.txt")}, problems);
        ASSERT_TRUE(problems.empty());
        // The file itself is untouched; only the name it was checked by leads nowhere now.
        if (budget < 2) {
            std::filesystem::rename(dir.File("in"), dir.File("moved"));
        }

        Error problem{};
        const EntryWriteStatus status = EncodeChecked(*inputs, &problem);
        if (budget > 0) {
            EXPECT_EQ(status, EntryWriteStatus::Written) << DescribeProblem(problem);
        } else {
            EXPECT_EQ(status, EntryWriteStatus::Failed);
            EXPECT_EQ(problem.code, ErrorCode::CannotRead) << DescribeProblem(problem);
            EXPECT_EQ(problem.errorNumber, ENOENT);
            EXPECT_EQ(problem.path, paths[0]);
        }
    }
}

TEST(CheckedInputs, AnInputThatIsNoFileIsNamedOnceByItsKind) {
    TempDir dir;
    const std::vector<std::string> paths = {dir.File("folder"), dir.File("fifo"),
                                            dir.File("socket")};
    std::filesystem::create_directory(paths[0]);
    ASSERT_EQ(::mkfifo(paths[1].c_str(), 0600), 0);
    // A socket cannot even be opened: it is named by its kind all the same.
    const UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(paths[2].size(), sizeof address.sun_path);
    std::memcpy(address.sun_path, paths[2].c_str(), paths[2].size());
    ASSERT_EQ(::bind(socket.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    CheckedInputs inputs(paths, 2);
    std::vector<Error> problems;
    // Not even a name that cannot be written is worth saying about them.
    inputs.Check(dir.File("out.zok"), {std::nullopt, std::nullopt, std::nullopt}, problems);
    ASSERT_EQ(problems.size(), 3u);
    EXPECT_EQ(problems[0].code, ErrorCode::IsAFolder);
    EXPECT_EQ(problems[1].code, ErrorCode::IsAFifo);
    EXPECT_EQ(problems[2].code, ErrorCode::IsASocket);
}

TEST(CheckedInputs, PassedCountsAreToldOnlyWhileNoProblemWasFound) {
    for (const bool firstMissing : {false, true}) {
        SCOPED_TRACE(firstMissing ? "first input missing" : "all there");
        TempDir dir;
        std::vector<std::string> paths;
        for (int i = 0; i < 70; ++i) {
            paths.push_back(dir.File(std::to_string(i) + ".txt"));
            if (i > 0 || !firstMissing) {
                WriteFile(paths.back(), "x");
            }
        }
        CheckedInputs inputs(paths, 0);
        std::vector<Error> problems;
        std::vector<size_t> told;
        inputs.Check(dir.File("out.zok"),
                     std::vector<std::optional<std::string>>(paths.size(), std::string("x.txt")),
                     problems, [&](size_t count) { told.push_back(count); });
        EXPECT_EQ(problems.size(), firstMissing ? 1u : 0u);
        if (firstMissing) {
            EXPECT_TRUE(told.empty());
        } else {
            // Now and then while the check goes on, then once for all of them.
            ASSERT_FALSE(told.empty());
            EXPECT_LT(told.front(), paths.size());
            EXPECT_TRUE(std::is_sorted(told.begin(), told.end()));
            EXPECT_EQ(told.back(), paths.size());
        }
    }
}

TEST(CheckedInputs, ManyInputsAreBuiltWithFewDescriptors) {
    // A folder walked before a hundred files named one by one (whose descriptors a set keeps),
    // and a folder named past those descriptors, walked all the same.
    TempDir dir;
    std::filesystem::create_directory(dir.File("a"));
    std::filesystem::create_directory(dir.File("z"));
    std::vector<std::string> paths;
    std::vector<std::string> named = {dir.File("a")};
    for (int i = 0; i < 300; ++i) {
        const char* folder = i < 100 ? "a/" : i < 200 ? "" : "z/";
        char name[16];
        std::snprintf(name, sizeof name, "%sf%03d.%s", folder, i, i % 5 == 0 ? "old" : "txt");
        paths.push_back(dir.File(name));
        WriteFile(paths.back(), TextBytes(size_t(i * 37 % 5000)));
        if (*folder == '\0') {
            named.push_back(paths.back());
        }
    }
    named.push_back(dir.File("z"));
    BuildOptions serial;
    serial.threads = 1;
    ASSERT_TRUE(BuildArchive(paths, dir.File("free.zok"), nullptr, nullptr, serial));
    const std::string expected = ReadFile(dir.File("free.zok"));

    // Far fewer descriptors than inputs: most inputs are closed after their check and opened
    // again when packed, and the archive is the same; a set holds its descriptors before the
    // check opens any, and the check leaves them room.
    const int status = RunInChild([&] {
        rlimit limit{};
        ::getrlimit(RLIMIT_NOFILE, &limit);
        limit.rlim_cur = 48;
        ::setrlimit(RLIMIT_NOFILE, &limit);
        for (unsigned threads : {1u, 3u}) {
            BuildOptions options;
            options.threads = threads;
            for (const bool fromSet : {false, true}) {
                std::optional<InputSet> set;
                bool built = false;
                if (fromSet) {
                    // It holds half the descriptor limit at most.
                    const auto open = [] {
                        const std::filesystem::directory_iterator fds("/proc/self/fd");
                        return std::distance(begin(fds), end(fds));
                    };
                    const auto before = open();
                    set.emplace(named);
                    if (open() - before > 24) {
                        return 3;
                    }
                    built = BuildArchive(*set, dir.File("bounded.zok"), nullptr, nullptr, options);
                } else {
                    built = BuildArchive(paths, dir.File("bounded.zok"), nullptr, nullptr, options);
                }
                if (!built || ReadFile(dir.File("bounded.zok")) != expected) {
                    return fromSet ? 2 : 1;
                }
            }
        }
        return 0;
    });
    EXPECT_EQ(status, 0);
}

}  // namespace
