#include <gtest/gtest.h>

#include "tests/support/test_support.h"

using namespace zoktest;

namespace {

TEST(CreateCommand, PacksFilesAndReportsUsageErrors) {
    TempDir dir;
    WriteFile(dir.File("a.txt"), TextBytes(1000));
    WriteFile(dir.File("b.old"), RandomBytes(300));
    WriteFile(dir.File("c"), "");
    const std::string out = dir.File("out.zok");
    CommandResult r =
        RunProgram({ZokPath(), "create", out, dir.File("a.txt"), dir.File("b.old"), dir.File("c")});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    const std::string archive = ReadFile(out);
    ASSERT_GE(archive.size(), 10u);
    EXPECT_EQ(archive.substr(0, 6), "ZOK110");
    EXPECT_EQ(U32At(archive, 6), 3u);

    EXPECT_EQ(RunProgram({ZokPath()}).exitStatus, 2);
    EXPECT_EQ(RunProgram({ZokPath(), "create", out}).exitStatus, 2);
    EXPECT_EQ(RunProgram({ZokPath(), "frobnicate"}).exitStatus, 2);
    CommandResult help = RunProgram({ZokPath(), "create", "--help"});
    EXPECT_EQ(help.exitStatus, 0);
    EXPECT_NE(help.out.find("ARCHIVE"), std::string::npos);
}

TEST(CreateCommand, MissingInputFailsAndLeavesExistingArchive) {
    TempDir dir;
    const std::string out = dir.File("out.zok");
    WriteFile(out, "previous archive");
    CommandResult r = RunProgram({ZokPath(), "create", out, dir.File("missing.txt")});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_NE(r.err.find("missing.txt"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("No such file"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile(out), "previous archive");
    EXPECT_EQ(CountIn(dir.Path()), 1u);
}

TEST(CreateCommand, ACodecFailureNamesTheInputNotTheArchive) {
    TempDir dir;
    WriteFile(dir.File("a.txt"), "a");
    WriteFile(dir.File("fake.png"), "GIF89a, not a PNG");
    const std::string out = dir.File("out.zok");
    CommandResult r =
        RunProgram({ZokPath(), "create", out, dir.File("a.txt"), dir.File("fake.png")});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.err, "zok: " + dir.File("fake.png") +
                         ": it cannot be read as a picture (Not a PNG) (nothing was written)\n");
    EXPECT_FALSE(FileExists(out));
}

TEST(CreateCommand, UnencodablePictureExitsThreeAndNamesIt) {
    TempDir dir;
    WriteFile(dir.File("broken.bmp"), "not a bitmap at all");
    const std::string out = dir.File("out.zok");
    CommandResult r = RunProgram({ZokPath(), "create", out, dir.File("broken.bmp")});
    EXPECT_EQ(r.exitStatus, 3);
    EXPECT_NE(r.err.find("broken.bmp"), std::string::npos) << r.err;
    EXPECT_TRUE(FileExists(out));
}

TEST(FaultInjection, CommandLineReportsFailuresWithStatusOneAndKeepsTheTarget) {
    TempDir dir;
    const std::string out = dir.File("keep.zok");
    WriteFile(out, "keep");
    WriteFile(dir.File("a.txt"), "a");
    CommandResult r = RunProgram({ZokPath(), "create", out, dir.File("a.txt"), dir.File("gone")});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_NE(r.err.find(dir.File("gone")), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(ReadFile(out), "keep");
    r = RunProgram({ZokPath(), "create", dir.File("a.txt") + "/x.zok", dir.File("a.txt")});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_NE(r.err.find("Not a directory"), std::string::npos) << r.err;
}

}  // namespace
