// zok update and zok delete as a user meets them: what each prints, its status, and what the
// archive holds afterwards.

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/test_support.h"

using namespace zoktest;

namespace {

CommandResult Zok(std::vector<std::string> args) {
    args.insert(args.begin(), ZokPath());
    return RunProgram(args);
}

// The archive's entries as `zok list` names them, in order.
std::string Names(const std::string& archive) {
    const CommandResult r = Zok({"list", "--json", archive});
    std::string names;
    for (size_t at = r.out.find("\"name\": \""); at != std::string::npos;
         at = r.out.find("\"name\": \"", at + 1)) {
        const size_t start = at + 9;
        names += (names.empty() ? "" : " ") + r.out.substr(start, r.out.find('"', start) - start);
    }
    return names;
}

TEST(UpdateCommand, AddsReplacesDeletesAndSaysWhatItDid) {
    TempDir dir;
    WriteFile(dir.File("a.txt"), "aaa");
    WriteFile(dir.File("b.old"), "bbb");
    WriteFile(dir.File("c.txt"), "ccc");
    const std::string archive = dir.File("x.zok");
    ASSERT_EQ(Zok({"create", "-q", archive, dir.File("a.txt"), dir.File("b.old")}).exitStatus, 0);
    std::filesystem::create_directories(dir.File("dup"));
    WriteFile(dir.File("dup/A.TXT"), "other");

    struct Row {
        std::vector<std::string> args;
        int status;
        std::string said;   // a part of what it printed (out and err)
        std::string names;  // the archive's entries afterwards
    };
    WriteFile(dir.File("a.txt"), "AAAA");
    const Row rows[] = {
        {{"update", "-v", archive, dir.File("a.txt"), dir.File("c.txt")},
         0,
         "replaced  a.txt\nadded  c.txt\n",
         "a.txt b.old c.txt"},
        {{"update", "--only-changed", "-v", archive, dir.File("a.txt")},
         0,
         "unchanged  a.txt\n",
         "a.txt b.old c.txt"},
        // Two files of one name are refused as create refuses them.
        {{"update", archive, dir.File("a.txt"), dir.File("dup/A.TXT")},
         1,
         "(the archive is unchanged)",
         "a.txt b.old c.txt"},
        {{"delete", archive, "*.old", "nothing"}, 2, "no entry matches", "a.txt b.old c.txt"},
        {{"delete", "-v", archive, "*.OLD"}, 0, "deleted  b.old\n", "a.txt c.txt"},
        {{"update", "-o", dir.File("y.zok"), archive, dir.File("b.old")},
         0,
         "added 1",
         "a.txt c.txt"},
        // An existing OUT is kept unless --overwrite says otherwise.
        {{"delete", "-o", dir.File("y.zok"), archive, "c.txt"},
         1,
         "use --overwrite",
         "a.txt c.txt"},
    };
    for (const Row& row : rows) {
        const CommandResult r = Zok(row.args);
        SCOPED_TRACE(row.args[0] + " " + row.args[1] + "\n" + r.out + r.err);
        EXPECT_EQ(r.exitStatus, row.status);
        EXPECT_NE((r.out + r.err).find(row.said), std::string::npos);
        EXPECT_EQ(Names(archive), row.names);
    }
    EXPECT_EQ(Names(dir.File("y.zok")), "a.txt c.txt b.old");
    EXPECT_EQ(Zok({"delete", "--overwrite", "-o", dir.File("y.zok"), archive, "c.txt"}).exitStatus,
              0);
    EXPECT_EQ(Names(dir.File("y.zok")), "a.txt");
    // A version 1.0.0 archive is sent to zok upgrade first.
    WriteFile(dir.File("old.zok"), std::string(4, '\0'));
    const CommandResult r = Zok({"delete", dir.File("old.zok"), "x"});
    EXPECT_NE(r.err.find("zok upgrade"), std::string::npos) << r.err;
}

}  // namespace
