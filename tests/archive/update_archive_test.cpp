// Changing an archive without rebuilding it: the result is what a full build of the resulting
// inputs gives, entries nobody named are copied as stored, and nothing is written when the
// archive or the request cannot be trusted.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <set>

#include "io/atomic_file.h"
#include "io/temporary_files.h"
#include "tests/archive/handmade_archive.h"
#include "tests/support/image_writers.h"
#include "zok/build_archive.h"
#include "zok/cleanup.h"
#include "zok/update.h"

using namespace zok;
using namespace zoktest;

namespace {

class UpdateTest : public ::testing::Test {
protected:
    void SetUp() override {
        Write("a.txt", TextBytes(5000));
        Write("b.bin", RandomBytes(3000, 2));
        Write("c.old", RandomBytes(700, 3));
        Write("d.png", MakePng(PngImageFromRgba(PatternImage(7, 5, 4, true), true)));
        Write("e.bmp", MakeBmp24(PatternImage(5, 3, 5)));
        ASSERT_TRUE(
            BuildArchive(Paths({"a.txt", "b.bin", "c.old", "d.png", "e.bmp"}), archive, nullptr));
    }
    void Write(const std::string& name, const std::string& bytes) {
        WriteFile(dir.File(name), bytes);
    }
    std::vector<std::string> Paths(const std::vector<std::string>& names) const {
        std::vector<std::string> paths;
        for (const std::string& name : names) {
            paths.push_back(dir.File(name));
        }
        return paths;
    }
    // What a full build of these inputs writes.
    std::string Built(const std::vector<std::string>& names) const {
        const std::string out = dir.File("full.zok");
        EXPECT_TRUE(BuildArchive(Paths(names), out, nullptr));
        return ReadFile(out);
    }
    std::vector<UpdateAction> Actions(const UpdateReport& report) const {
        std::vector<UpdateAction> actions;
        for (const UpdatedEntry& entry : report.entries) {
            actions.push_back(entry.action);
        }
        return actions;
    }

    TempDir dir;
    const std::string archive = dir.File("assets.zok");
};

TEST_F(UpdateTest, AddReplaceAndDeleteGiveWhatAFullBuildGives) {
    Write("b.bin", RandomBytes(3100, 9));
    Write("f.txt", TextBytes(123));
    UpdateOptions options;
    options.inputs = Paths({"B.BIN", "f.txt"});  // a name in another case replaces its entry
    std::filesystem::rename(dir.File("b.bin"), dir.File("B.BIN"));
    options.deletions = {"*.old"};
    UpdateReport report;
    ASSERT_TRUE(UpdateArchive(archive, options, &report)) << DescribeProblem(report.problems[0]);
    EXPECT_EQ(ReadFile(archive), Built({"a.txt", "B.BIN", "d.png", "e.bmp", "f.txt"}));
    EXPECT_EQ(Actions(report),
              (std::vector<UpdateAction>{UpdateAction::Kept, UpdateAction::Replaced,
                                         UpdateAction::Deleted, UpdateAction::Kept,
                                         UpdateAction::Kept, UpdateAction::Added}));
}

// An input equal to its entry leaves the stored bytes as they are, even where encoding it again
// would give other bytes: here the picture entry holds a stream the builder would not write.
TEST_F(UpdateTest, EqualInputsAreNotEncodedAgain) {
    const RgbaImage image = PatternImage(6, 4, 8, true);
    PngWriteOptions other;
    other.ancillaryChunks = true;
    const std::string foreign = MakePng(PngImageFromRgba(image, true), other);
    Write("p.png", MakePng(PngImageFromRgba(image, true)));
    Write("t.txt", TextBytes(900));
    // The picture entry was made from an input of this size, as the builder records it.
    const uint32_t size = uint32_t(ReadFile(dir.File("p.png")).size());
    WriteFile(archive, MakeArchive({HandEntry("p.png", foreign, 2, size),
                                    DeflatedEntry("t.txt", TextBytes(900))}));
    const std::string fixed = ReadFile(archive);

    UpdateOptions options;
    options.inputs = Paths({"p.png", "t.txt"});
    options.onlyChanged = true;
    UpdateReport report;
    ASSERT_TRUE(UpdateArchive(archive, options, &report));
    EXPECT_EQ(Actions(report),
              (std::vector<UpdateAction>{UpdateAction::Unchanged, UpdateAction::Unchanged}));
    EXPECT_EQ(ReadFile(archive), fixed);
    // A changed pixel is found, and then the picture is encoded again.
    RgbaImage changed = image;
    changed.At(2, 3)[0] ^= 1;
    Write("p.png", MakePng(PngImageFromRgba(changed, true), other));
    ASSERT_TRUE(UpdateArchive(archive, options, &report));
    EXPECT_EQ(report.entries[0].action, UpdateAction::Replaced);
}

TEST_F(UpdateTest, ArchivesAndRequestsItCannotTrustWriteNothing) {
    const std::string before = ReadFile(archive);
    struct Case {
        const char* what;
        UpdateOptions options;
        ErrorCode code;
    };
    UpdateOptions noMatch;
    noMatch.deletions = {"nothing*"};
    UpdateOptions clash;
    std::filesystem::create_directories(dir.File("sub"));
    Write("sub/A.TXT", "other");
    clash.inputs = Paths({"a.txt", "sub/A.TXT"});
    for (const Case& c : {Case{"a deletion matching nothing", noMatch, ErrorCode::NoMatch},
                          Case{"two inputs of one name", clash, ErrorCode::DuplicateName}}) {
        SCOPED_TRACE(c.what);
        UpdateReport report;
        EXPECT_FALSE(UpdateArchive(archive, c.options, &report));
        ASSERT_EQ(report.problems.size(), 1u);
        EXPECT_EQ(report.problems[0].code, c.code);
        EXPECT_EQ(ReadFile(archive), before);
    }
    // A 1.0.0 archive, and one whose entry lies past its end: refused, named.
    const std::string old = dir.File("old.zok");
    WriteFile(old, MakeArchive({DeflatedEntry("x.txt", "x")}, false));
    UpdateReport report;
    EXPECT_FALSE(UpdateArchive(old, noMatch, &report));
    EXPECT_EQ(report.problems.at(0).code, ErrorCode::NeedsUpgrade);
    HandEntry past = DeflatedEntry("past.txt", "abc");
    past.storedSize = 1000;
    WriteFile(old, MakeArchive({DeflatedEntry("x.txt", "x"), past}));
    const std::string cut = ReadFile(old);
    EXPECT_FALSE(UpdateArchive(old, UpdateOptions(), &report));
    EXPECT_EQ(report.problems.at(0).code, ErrorCode::DataPastEnd);
    EXPECT_EQ(report.problems.at(0).entry, "past.txt");
    EXPECT_EQ(ReadFile(old), cut);
    // Any other damage is copied as it stands, with a warning naming it.
    WriteFile(old,
              MakeArchive({DeflatedEntry("x.txt", "x"), HandEntry("bad.txt", "xyz", 3, 1u << 30)}));
    const std::string damaged = ReadFile(old);
    ASSERT_TRUE(UpdateArchive(old, UpdateOptions(), &report));
    ASSERT_EQ(report.warnings.size(), 1u);
    EXPECT_EQ(report.warnings[0].entry, "bad.txt");
    EXPECT_EQ(ReadFile(old), damaged);
}

// A signal at each step of writing leaves the archive as it was or as it should be, and
// nothing else.
TEST_F(UpdateTest, AKillAtEachStepLeavesTheOldArchiveWhole) {
    const std::string before = ReadFile(archive);
    Write("f.txt", "new");
    UpdateOptions options;
    options.inputs = Paths({"f.txt"});
    const std::set<std::string> names = [&] {
        std::set<std::string> n;
        for (const auto& e : std::filesystem::directory_iterator(dir.Path())) {
            n.insert(e.path().filename().string());
        }
        return n;
    }();
    static const char* stopAt = nullptr;
    for (const char* point : {"noted", "created", "linked", "renamed"}) {
        SCOPED_TRACE(point);
        for (const bool unnamed : {true, false}) {
            const pid_t pid = ::fork();
            if (pid == 0) {
                RemoveTemporaryFilesOnSignals();
                SetUnnamedFilesForTest(unnamed, true, true);
                stopAt = point;
                SetTemporaryFileHook([](const char* at) {
                    if (std::strcmp(at, stopAt) == 0) {
                        ::raise(SIGTERM);
                    }
                });
                ::_exit(UpdateArchive(archive, options, nullptr) ? 0 : 1);
            }
            int status = 0;
            ::waitpid(pid, &status, 0);
            std::set<std::string> now;
            for (const auto& e : std::filesystem::directory_iterator(dir.Path())) {
                now.insert(e.path().filename().string());
            }
            EXPECT_EQ(now, names);
            const std::string after = ReadFile(archive);
            EXPECT_TRUE(after == before ||
                        after == Built({"a.txt", "b.bin", "c.old", "d.png", "e.bmp", "f.txt"}));
            std::filesystem::remove(dir.File("full.zok"));
            WriteFile(archive, before);
        }
    }
}

}  // namespace
