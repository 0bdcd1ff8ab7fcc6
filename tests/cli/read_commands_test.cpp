#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "tests/archive/handmade_archive.h"
#include "tests/support/image_writers.h"
#include "tests/support/test_support.h"
#include "zok/bitmap_info.h"
#include "zok/load_png_file.h"

using namespace zok;

using namespace zoktest;

namespace {

CommandResult Zok(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {ZokPath()};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProgram(argv);
}

size_t Occurrences(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++n;
    }
    return n;
}

// The pixel rows of a 24-bit BMP file, after checking its headers.
std::vector<uint8_t> BmpRows(const std::string& file, int width, int height) {
    EXPECT_EQ(file.substr(0, 2), "BM");
    EXPECT_EQ(U32At(file, 2), file.size());
    EXPECT_EQ(U32At(file, 10), 54u);
    const BITMAPINFOHEADER h =
        ReadBitmapInfoHeader(reinterpret_cast<const uint8_t*>(file.data()) + 14);
    EXPECT_EQ(h.biBitCount, 24);
    EXPECT_EQ(h.biWidth, width);
    EXPECT_EQ(h.biHeight, height);
    EXPECT_EQ(h.biCompression, 0u);
    return std::vector<uint8_t>(file.begin() + 54, file.end());
}

struct Inputs {
    RgbaImage photo = PatternImage(5, 3, 51);
    RgbaImage icon = PatternImage(4, 4, 52, true);
    std::string text = TextBytes(4000);
    std::string old = RandomBytes(777, 53);
};

// Writes the inputs into dir and packs them with zok create.
std::string CreateArchive(const TempDir& dir, const Inputs& in) {
    WriteFile(dir.File("notes.txt"), in.text);
    WriteFile(dir.File("data.old"), in.old);
    WriteFile(dir.File("photo.bmp"), MakeBmp24(in.photo));
    WriteFile(dir.File("icon.png"), MakePng(PngImageFromRgba(in.icon, true)));
    const std::string archive = dir.File("all.zok");
    CommandResult r = Zok({"create", archive, dir.File("notes.txt"), dir.File("data.old"),
                           dir.File("photo.bmp"), dir.File("icon.png")});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    return archive;
}

TEST(ReadCommands, ExtractGivesBackWhatCreatePacked) {
    TempDir dir;
    const Inputs in;
    const std::string archive = CreateArchive(dir, in);
    const std::string out = dir.File("out");

    CommandResult r = Zok({"extract", "-C", out, archive});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(NamesIn(out),
              (std::set<std::string>{"notes.txt", "data.old", "photo.bmp", "icon.png"}));
    EXPECT_EQ(ReadFile(out + "/notes.txt"), in.text);
    EXPECT_EQ(ReadFile(out + "/data.old"), in.old);
    // The BMP input comes back as a 24-bit BMP with its pixels.
    EXPECT_EQ(BmpRows(ReadFile(out + "/photo.bmp"), 5, 3), BottomUpBgr(in.photo));
    // The PNG input comes back as a valid PNG of the same picture.
    BITMAPINFOHEADER header;
    PixelBuffer alpha;
    PixelBuffer pixels = LoadPngFile(out + "/icon.png", &header, &alpha);
    ASSERT_NE(pixels, nullptr);
    ASSERT_NE(alpha, nullptr);
    EXPECT_EQ(std::vector<uint8_t>(pixels.get(), pixels.get() + 4 * 4 * 3),
              BottomUpBgr(in.icon, false));
    EXPECT_EQ(std::vector<uint8_t>(alpha.get(), alpha.get() + 16), TopDownAlpha(in.icon));

    // Existing files are kept unless --overwrite is given.
    WriteFile(out + "/notes.txt", "changed");
    r = Zok({"extract", "-C", out, archive, "NOTES.TXT"});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_NE(r.err.find("already exists"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile(out + "/notes.txt"), "changed");
    r = Zok({"extract", "--overwrite", "-C", out, archive, "NOTES.TXT"});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(ReadFile(out + "/notes.txt"), in.text);

    r = Zok({"extract", "-C", out, archive, "missing.txt"});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_NE(r.err.find("missing.txt"), std::string::npos) << r.err;
}

TEST(ReadCommands, ListCatBitmapAndTest) {
    TempDir dir;
    const Inputs in;
    const std::string archive = CreateArchive(dir, in);

    CommandResult r = Zok({"list", "--json", archive});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(r.out.find("{\"version\": \"110\", \"entries\": ["), 0u) << r.out;
    EXPECT_NE(r.out.find("{\"name\": \"notes.txt\", \"kind\": 3, \"kindName\": \"deflated\", "
                         "\"offset\": "),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\"name\": \"photo.bmp\", \"kind\": 2"), std::string::npos);
    EXPECT_NE(r.out.find("\"sourceSize\": 4000"), std::string::npos);
    r = Zok({"list", archive});
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.out.rfind("ZOK archive version 1.1.0, 4 entries\n", 0), 0u) << r.out;
    // Version, heading, four entries, the rule and the totals.
    EXPECT_EQ(Occurrences(r.out, "\n"), 8u) << r.out;
    EXPECT_NE(r.out.find("icon.png"), std::string::npos);

    r = Zok({"cat", archive, "Data.OLD"});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(r.out, in.old);
    r = Zok({"cat", archive, "photo.bmp"});
    EXPECT_EQ(PngChunkTypes(r.out), (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));

    const std::string bmp = dir.File("icon.bmp"), pgm = dir.File("icon.pgm");
    r = Zok({"bitmap", archive, "icon.png", bmp, "--alpha", pgm});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(BmpRows(ReadFile(bmp), 4, 4), BottomUpBgr(in.icon));
    const std::vector<uint8_t> alpha = TopDownAlpha(in.icon);
    EXPECT_EQ(ReadFile(pgm), "P5\n4 4\n255\n" + std::string(alpha.begin(), alpha.end()));
    // Existing outputs are replaced only when asked; a picture without alpha gives an opaque
    // plane.
    r = Zok({"bitmap", archive, "photo.bmp", bmp, "--alpha", pgm});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_NE(r.err.find("icon.bmp: already exists (use --overwrite"), std::string::npos) << r.err;
    r = Zok({"bitmap", "--overwrite", archive, "photo.bmp", bmp, "--alpha", pgm});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(ReadFile(pgm), "P5\n5 3\n255\n" + std::string(15, '\xFF'));
    r = Zok({"bitmap", archive, "notes.txt", dir.File("no.bmp")});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_NE(r.err.find("notes.txt"), std::string::npos);
    EXPECT_FALSE(FileExists(dir.File("no.bmp")));

    r = Zok({"test", archive});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_NE(r.out.find("4 entries, 0 damaged"), std::string::npos) << r.out;
}

TEST(ReadCommands, ExtractNeverWritesOutsideTheFolder) {
    TempDir dir;
    const std::string outside = dir.File("escaped");
    const struct {
        std::string name;
        std::string shown;
        const char* reason;
    } refused[] = {{"../x", "../x", "its name contains a folder separator"},
                   {outside, outside, "its name contains a folder separator"},
                   {"a/b", "a/b", "its name contains a folder separator"},
                   {"", "", "its name is empty"},
                   {".", ".", "its name is a folder reference"},
                   {"..", "..", "its name is a folder reference"},
                   {std::string("a\0b", 3), "a\\x00b", "its name contains a NUL byte"}};
    std::vector<HandEntry> entries;
    for (const auto& row : refused) {
        entries.push_back(DeflatedEntry(row.name, "not written"));
    }
    entries.push_back(DeflatedEntry("ok.txt", "fine"));
    const std::string archive = dir.File("evil.zok");
    WriteFile(archive, MakeArchive(entries));
    const std::string out = dir.File("out");
    CommandResult r = Zok({"extract", "-C", out, archive});
    EXPECT_EQ(r.exitStatus, 1);
    for (const auto& row : refused) {
        EXPECT_NE(r.err.find("\"" + row.shown + "\": refused: " + row.reason + "\n"),
                  std::string::npos)
            << row.shown << "\n"
            << r.err;
    }
    EXPECT_EQ(NamesIn(out), std::set<std::string>{"ok.txt"});
    EXPECT_EQ(NamesIn(dir.Path().string()), (std::set<std::string>{"evil.zok", "out"}));
}

TEST(ReadCommands, DamagedArchivesAndEntriesAreReported) {
    TempDir dir;
    const std::string archive = dir.File("bad.zok");
    HandEntry flipped = DeflatedEntry("flipped.txt", TextBytes(2000));
    flipped.data[flipped.data.size() / 2] ^= 0x40;
    HandEntry pastEnd = DeflatedEntry("cut.txt", "short");
    pastEnd.storedSize = 4096;
    WriteFile(archive, MakeArchive({DeflatedEntry("good.txt", "good"), flipped,
                                    HandEntry("broken.png", "\x89PNG\r\n\x1a\nnope", 2), pastEnd}));
    CommandResult r = Zok({"test", archive});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_NE(r.out.find("4 entries, 3 damaged"), std::string::npos) << r.out;
    for (const char* name : {"flipped.txt", "broken.png", "cut.txt"}) {
        EXPECT_NE(r.err.find(std::string("\"") + name + "\": damaged"), std::string::npos) << r.err;
    }
    EXPECT_EQ(r.err.find("good.txt"), std::string::npos);

    r = Zok({"cat", archive, "cut.txt"});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_NE(r.err.find("past the end"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");

    // An archive that cannot be opened or trusted: exit 1, the file named.
    std::string hostile = "ZOK110";
    AppendU32(hostile, 0xFFFFFFFFu);
    WriteFile(dir.File("hostile.zok"), hostile);
    for (const char* command : {"list", "test", "extract", "upgrade"}) {
        r = Zok({command, dir.File("hostile.zok")});
        EXPECT_EQ(r.exitStatus, 1) << command;
        EXPECT_NE(r.err.find("hostile.zok"), std::string::npos) << r.err;
    }
    r = Zok({"list", dir.File("missing.zok")});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_NE(r.err.find("missing.zok: No such file"), std::string::npos) << r.err;
}

TEST(ReadCommands, UpgradeRewritesOldArchives) {
    TempDir dir;
    const RgbaImage photo = PatternImage(6, 2, 61);
    const std::string bytes =
        MakeArchive({HandEntry("photo.bmp", MakeBmp24(photo), 1),
                     DeflatedEntry("readme.txt", "hello"), HandEntry("raw.old", "raw", 3)},
                    false);
    const std::string archive = dir.File("pics.zok");
    WriteFile(archive, bytes);

    CommandResult r = Zok({"upgrade", archive});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(ReadFile(archive), bytes);
    const std::string upgraded = dir.File("pics110.zok");
    r = Zok({"list", "--json", upgraded});
    EXPECT_EQ(r.out.find("{\"version\": \"110\""), 0u) << r.out;
    EXPECT_NE(r.out.find("\"name\": \"photo.bmp\", \"kind\": 2"), std::string::npos) << r.out;
    r = Zok({"bitmap", upgraded, "photo.bmp", dir.File("p.bmp")});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(BmpRows(ReadFile(dir.File("p.bmp")), 6, 2), BottomUpBgr(photo));

    r = Zok({"upgrade", "--in-place", archive});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(ReadFile(archive), ReadFile(upgraded));
    EXPECT_EQ(NamesIn(dir.Path().string()),
              (std::set<std::string>{"pics.zok", "pics110.zok", "p.bmp"}));
    // A current archive is left as it is.
    r = Zok({"upgrade", "--in-place", archive});
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_NE(r.out.find("nothing to do"), std::string::npos) << r.out;

    // A damaged entry stops the upgrade with the archive unchanged.
    HandEntry flipped = DeflatedEntry("bad.txt", TextBytes(900));
    flipped.data[flipped.data.size() / 2] ^= 0x40;
    const std::string damaged = MakeArchive({flipped}, false);
    WriteFile(dir.File("bad.zok"), damaged);
    r = Zok({"upgrade", "--in-place", dir.File("bad.zok")});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_NE(r.err.find("\"bad.txt\""), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile(dir.File("bad.zok")), damaged);
}

TEST(ReadCommands, HelpAndUsageErrors) {
    for (const char* command : {"list", "cat", "extract", "bitmap", "test", "upgrade"}) {
        SCOPED_TRACE(command);
        CommandResult help = Zok({command, "--help"});
        EXPECT_EQ(help.exitStatus, 0);
        EXPECT_NE(help.out.find("ARCHIVE"), std::string::npos);
        EXPECT_NE(help.out.find("Exit status"), std::string::npos);
        EXPECT_EQ(Zok({command}).exitStatus, 2);
    }
    EXPECT_EQ(Zok({"cat", "a.zok"}).exitStatus, 2);
    EXPECT_EQ(Zok({"bitmap", "a.zok", "x.png"}).exitStatus, 2);
    EXPECT_EQ(Zok({"list", "--bogus", "a.zok"}).exitStatus, 2);
}

}  // namespace

namespace {

// Outputs are compared as files, not as spellings: an alpha plane that would land on the
// picture, by another spelling or through a dangling link, is refused and nothing is left.
TEST(ReadCommands, BitmapOutputsThatAreOneFileAreRefusedWithNothingLeft) {
    TempDir dir;
    WriteFile(dir.File("p.png"), MakePng(PngImageFromRgba(PatternImage(3, 2, 1), true)));
    ASSERT_EQ(Zok({"create", dir.File("a.zok"), dir.File("p.png")}).exitStatus, 0);
    std::filesystem::create_symlink("o.bmp", dir.File("dangling"));
    for (const std::string& alpha : {dir.Path().string() + "/./o.bmp", dir.File("dangling")}) {
        SCOPED_TRACE(alpha);
        const CommandResult r = Zok({"bitmap", "--overwrite", dir.File("a.zok"), "p.png",
                                     dir.File("o.bmp"), "--alpha", alpha});
        EXPECT_EQ(r.exitStatus, 1);
        EXPECT_NE(r.err.find("another output"), std::string::npos) << r.err;
        EXPECT_FALSE(FileExists(dir.File("o.bmp")));
    }
}

TEST(ReadCommands, NamesAndVersionsAreShownAndFoundAsPrintedText) {
    TempDir dir;
    // A Korean name with a control byte: listed with \x01, and found in that form.
    WriteFile(dir.File("k.zok"), MakeArchive({DeflatedEntry("\xC7\xD1\x01.txt", "korean"),
                                              DeflatedEntry("a.txt", "plain")}));
    CommandResult r = Zok({"list", dir.File("k.zok")});
    EXPECT_NE(r.out.find("한\\x01.txt"), std::string::npos) << r.out;
    r = Zok({"cat", dir.File("k.zok"), "한\\x01.txt"});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(r.out, "korean");
    // One entry asked for twice is written once.
    r = Zok({"extract", "-C", dir.File("ex"), dir.File("k.zok"), "a.txt", "A.TXT"});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(NamesIn(dir.File("ex")), std::set<std::string>{"a.txt"});
    // Every byte of the version is shown printable.
    std::string bytes =
        "ZOK1\x1b"
        "0";
    AppendU32(bytes, 0);
    WriteFile(dir.File("v.zok"), bytes);
    r = Zok({"list", dir.File("v.zok")});
    EXPECT_EQ(r.out.rfind("ZOK archive version 1.\\x1B.0, 0 entries\n", 0), 0u) << r.out;
}

// The upgrade's scratch file lies beside its output: an archive in a folder that cannot be
// written is upgraded into one that can (a read-only bind mount, as root in a mount namespace).
TEST(ReadCommands, UpgradeWritesBesideItsOutputNotBesideTheArchive) {
    TempDir dir;
    std::filesystem::create_directories(dir.File("ro"));
    std::filesystem::create_directories(dir.File("out"));
    WriteFile(dir.File("ro/old.zok"), MakeArchive({DeflatedEntry("a.txt", "aaa")}, false));
    const std::string script = "mount --bind " + dir.File("ro") + " " + dir.File("ro") +
                               " && mount -o remount,bind,ro " + dir.File("ro") + " && \"$0\" " +
                               "upgrade -o " + dir.File("out/new.zok") + " " +
                               dir.File("ro/old.zok");
    const CommandResult r = RunProgram({"/usr/bin/unshare", "-m", "sh", "-c", script, ZokPath()});
    if (r.err.find("mount") != std::string::npos || r.err.find("unshare") != std::string::npos) {
        GTEST_SKIP() << "no mount namespace here: " << r.err;
    }
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_TRUE(FileExists(dir.File("out/new.zok")));
}

}  // namespace
