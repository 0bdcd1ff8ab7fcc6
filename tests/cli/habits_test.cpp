#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/test_support.h"

using namespace zoktest;

namespace {

namespace fs = std::filesystem;

// Replaces every {A} (the archive) and {D} (the test's folder) in text.
std::string Expand(std::string text, const std::string& archive, const std::string& folder) {
    for (const auto& [mark, value] : {std::pair<std::string, std::string>{"{A}", archive},
                                      std::pair<std::string, std::string>{"{D}", folder}}) {
        for (size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at)) {
            text.replace(at, mark.size(), value);
            at += value.size();
        }
    }
    return text;
}

// Runs a shell command line with TMPDIR set to tmp.
CommandResult Shell(const std::string& line, const std::string& tmp) {
    return RunProgram({"/bin/sh", "-c", "export TMPDIR='" + tmp + "'; " + line});
}

TEST(CommandLine, HabitsOfZipUnzipAndTar) {
    TempDir dir;
    const std::string d = dir.Path().string();
    fs::create_directories(dir.File("in/sub"));
    fs::create_directories(dir.File("dup/a"));
    fs::create_directories(dir.File("dup/b"));
    WriteFile(dir.File("in/a.txt"), "aaa");
    WriteFile(dir.File("in/[a].txt"), "literal");
    WriteFile(dir.File("in/sub/b.txt"), "bb");
    WriteFile(dir.File("in/z.old"), "zz");
    WriteFile(dir.File("dup/a/x.txt"), "1");
    WriteFile(dir.File("dup/b/X.TXT"), "2");
    const std::string archive = dir.File("a.zok");
    // Folders are walked in sorted order and flattened: "[a].txt" sorts before "a.txt".
    ASSERT_EQ(RunProgram({ZokPath(), "create", "-q", archive, dir.File("in")}).exitStatus, 0);
    ASSERT_EQ(
        RunProgram({ZokPath(), "create", dir.File("one.zok"), dir.File("in/z.old")}).exitStatus, 0);

    struct Row {
        std::vector<std::string> args;
        int status;
        std::string out;  // the whole standard output, or "*" for any
        std::string err;  // a part of the standard error ("" for none at all)
    };
    const Row rows[] = {
        // Kinds in words and a totals line; a pattern lists what it matches.
        {{"list", "{A}", "*.old"},
         0,
         "ZOK archive version 1.1.0, 4 entries\n"
         "KIND         SOURCE     STORED     OFFSET  NAME\n"
         "stored            2          2        136  z.old\n"
         "         ---------- ----------             -------\n"
         "                  2          2             1 entry\n",
         ""},
        {{"list", "{A}", "nothing*"}, 1, "*", "zok: {A}: no entry matches \"nothing*\"\n"},
        // A name that an entry has is that entry; otherwise it is a pattern.
        {{"cat", "{A}", "[a].txt"}, 0, "literal", ""},
        {{"cat", "{A}", "[AB].TXT", "*.old"}, 0, "aaabbzz", ""},
        {{"cat", "{A}", "x.txt"}, 1, "", "zok: {A}: no entry named \"x.txt\"\n"},
        {{"extract", "-v", "-C", "{D}/out", "{A}", "?.txt"}, 0, "a.txt\nb.txt\n", ""},
        {{"extract", "-C", "{D}/out", "{A}", "a.txt"},
         1,
         "",
         "out/a.txt: already exists (use --overwrite to replace it, or --skip-existing"},
        {{"extract", "-n", "-C", "{D}/out", "{A}"}, 0, "", ""},
        {{"test", "-q", "{A}"}, 0, "", ""},
        {{"test", "{D}/one.zok"}, 0, "{D}/one.zok: 1 entry, 0 damaged\n", ""},
        {{"test", "-v", "{D}/one.zok"}, 0, "z.old: OK\n{D}/one.zok: 1 entry, 0 damaged\n", ""},
        // Usage errors say "zok:" and which help to read.
        {{"extract", "--overwrite", "-n", "{A}"},
         2,
         "",
         "zok: extract: --overwrite excludes --skip-existing (zok help extract shows its "
         "options)\n"},
        {{"list"}, 2, "", "zok: list: ARCHIVE is required (zok help list shows its options)\n"},
        {{"create", "-q", "-v", "{D}/n.zok", "{D}/in"},
         2,
         "",
         "zok: create: --quiet excludes --verbose"},
        // Files that would give one entry name are all named, and nothing is written.
        {{"create", "{D}/d.zok", "{D}/dup"},
         2,
         "",
         "zok: {D}/dup/b/X.TXT: its name \"X.TXT\" is taken already by {D}/dup/a/x.txt"},
    };
    for (const Row& row : rows) {
        std::vector<std::string> argv = {ZokPath()};
        std::string shown;
        for (const std::string& arg : row.args) {
            argv.push_back(Expand(arg, archive, d));
            shown += " " + arg;
        }
        SCOPED_TRACE("zok" + shown);
        const CommandResult r = RunProgram(argv);
        EXPECT_EQ(r.exitStatus, row.status) << r.err;
        if (row.out != "*") {
            EXPECT_EQ(r.out, Expand(row.out, archive, d));
        }
        if (row.err.empty()) {
            EXPECT_EQ(r.err, "");
        } else {
            EXPECT_NE(r.err.find(Expand(row.err, archive, d)), std::string::npos) << r.err;
        }
    }
    EXPECT_FALSE(FileExists(dir.File("d.zok")));
    EXPECT_EQ(ReadFile(dir.File("out/a.txt")), "aaa");
    EXPECT_EQ(CountIn(dir.File("out")), 4u);
}

// "-" spools through an unnamed temporary file: the archive reads and writes as a named one
// does, and the temporary folder is left as it was.
TEST(CommandLine, StandardInputAndOutputAsTheArchive) {
    TempDir dir;
    const std::string tmp = dir.File("tmp");
    fs::create_directories(tmp);
    WriteFile(dir.File("a.txt"), TextBytes(3000));
    WriteFile(dir.File("b.old"), RandomBytes(2 << 20));
    const std::string zok = ZokPath();
    const std::string named = dir.File("named.zok");
    ASSERT_EQ(RunProgram({zok, "create", named, dir.File("a.txt"), dir.File("b.old")}).exitStatus,
              0);

    CommandResult r = Shell("'" + zok + "' create - '" + dir.File("a.txt") + "' '" +
                                dir.File("b.old") + "' > '" + dir.File("piped.zok") + "'",
                            tmp);
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(ReadFile(dir.File("piped.zok")), ReadFile(named));
    EXPECT_FALSE(FileExists(dir.File("-")));

    const CommandResult listed = RunProgram({zok, "list", named});
    r = Shell("cat '" + named + "' | '" + zok + "' list -", tmp);
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(r.out, listed.out);
    r = Shell("cat '" + named + "' | '" + zok + "' extract -C '" + dir.File("out") + "' -", tmp);
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(ReadFile(dir.File("out/b.old")), ReadFile(dir.File("b.old")));
    EXPECT_EQ(CountIn(tmp), 0u);

    // What is not an archive is named as the standard input; a pipe by name is refused.
    r = Shell("echo hello | '" + zok + "' test -", tmp);
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.err, "zok: standard input: not a ZOK archive\n");
    r = Shell("cat '" + named + "' | '" + zok + "' list /dev/stdin", tmp);
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_NE(r.err.find("only as -, the standard input"), std::string::npos) << r.err;
    r = Shell("cat '" + named + "' | '" + zok + "' list -", dir.File("missing"));
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_NE(r.err.find("standard input: cannot copy it into a temporary file in " +
                         dir.File("missing") + ": No such file"),
              std::string::npos)
        << r.err;
}

}  // namespace
