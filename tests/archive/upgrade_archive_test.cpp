#include "zok/upgrade_archive.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <csignal>
#include <filesystem>
#include <set>

#include "tests/archive/handmade_archive.h"
#include "tests/support/image_writers.h"
#include "tests/support/test_support.h"
#include "zok/zok_file.h"

using namespace zok;

using namespace zoktest;

namespace {

std::string Content(CZokFile& zok, size_t index) {
    std::string out(zok.GetEntrySizeAt(index), '\0');
    if (!zok.ExtractEntryAt(index, reinterpret_cast<uint8_t*>(out.data()))) {
        return "<failed>";
    }
    return out;
}

std::vector<std::array<uint32_t, 4>> g_calls;
void Remember(int32_t done, uint32_t source, uint32_t size, uint32_t total) {
    g_calls.push_back({uint32_t(done), source, size, total});
}

// A version 1.0.0 archive of text and stored entries.
std::vector<HandEntry> TextEntries() {
    return {DeflatedEntry("readme.txt", TextBytes(3000)), HandEntry("keep.old", RandomBytes(500)),
            DeflatedEntry("README", "no extension"), DeflatedEntry("readme.txt", "second copy")};
}

void ExpectUpgradedTextEntries(const std::string& path) {
    CZokFile zok(path);
    EXPECT_EQ(zok.Version(), "110");
    ASSERT_EQ(zok.Count(), 4u);
    EXPECT_EQ(zok.Record(1).name, "keep.old");
    EXPECT_EQ(Content(zok, 0), TextBytes(3000));
    EXPECT_EQ(Content(zok, 1), RandomBytes(500));
    EXPECT_EQ(Content(zok, 2), "no extension");
    // The second entry of a shared name keeps its own content.
    EXPECT_EQ(Content(zok, 3), "second copy");
    for (uint32_t i = 0; i < zok.Count(); ++i) {
        EXPECT_EQ(zok.Record(i).kind, EntryKind::Other);
    }
    // Stored unchanged: the entry's data is the file's bytes.
    EXPECT_EQ(zok.Record(1).storedSize, 500u);
}

TEST(UpgradeArchive, CurrentVersionIsLeftAlone) {
    TempDir dir;
    const std::string path = dir.File("pics.zok");
    const std::string bytes = MakeArchive(TextEntries());
    WriteFile(path, bytes);
    EXPECT_EQ(CZokFile(path).Version(), "110");
    EXPECT_EQ(UpgradeArchive(path, false, nullptr), kUpgradeNotNeeded);
    EXPECT_EQ(UpgradeArchive(path, true, nullptr), kUpgradeNotNeeded);
    EXPECT_EQ(ReadFile(path), bytes);
    EXPECT_EQ(NamesIn(dir.Path()), std::set<std::string>{"pics.zok"});
}

TEST(UpgradeArchive, WritesBesideTheOldArchiveAndReportsProgress) {
    TempDir dir;
    const std::string path = dir.File("pics.zok");
    const std::string bytes = MakeArchive(TextEntries(), /*withMagic=*/false);
    WriteFile(path, bytes);
    g_calls.clear();
    UpgradeReport report;
    ASSERT_EQ(UpgradeArchive(path, false, Remember, &report), kUpgradeDone)
        << DescribeProblem(report.problem);
    EXPECT_EQ(report.outputPath, dir.File("pics110.zok"));
    EXPECT_EQ(ReadFile(path), bytes);
    EXPECT_EQ(NamesIn(dir.Path()), (std::set<std::string>{"pics.zok", "pics110.zok"}));
    ExpectUpgradedTextEntries(dir.File("pics110.zok"));

    // (entries done, old source sizes so far, new archive size, all old stored sizes).
    CZokFile old(path);
    uint32_t totalStored = 0;
    for (uint32_t i = 0; i < old.Count(); ++i) {
        totalStored += old.Record(i).storedSize;
    }
    ASSERT_EQ(g_calls.size(), 4u);
    EXPECT_EQ(g_calls[0][0], 1u);
    EXPECT_EQ(g_calls[0][1], 3000u);
    EXPECT_EQ(g_calls[1][1], 3500u);
    EXPECT_EQ(g_calls[3][0], 4u);
    EXPECT_EQ(g_calls[3][2], ReadFile(dir.File("pics110.zok")).size());
    for (const auto& call : g_calls) {
        EXPECT_EQ(call[3], totalStored);
    }
}

TEST(UpgradeArchive, InPlaceLeavesNoBackupAndSparesTheUsersFiles) {
    TempDir dir;
    const std::string path = dir.File("pics.zok");
    WriteFile(path, MakeArchive(TextEntries(), false));
    // Files that merely share the names the upgrade would like to use.
    WriteFile(dir.File("~pics.zok"), "user's own file");
    WriteFile(dir.File("temp.tmp"), "user's temp");
    // A bare name: the folder is the current one.
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    UpgradeReport report;
    const int32_t result = UpgradeArchive("pics.zok", true, nullptr, &report);
    std::filesystem::current_path(previous);
    ASSERT_EQ(result, kUpgradeDone) << DescribeProblem(report.problem);
    EXPECT_EQ(report.outputPath, "pics.zok");
    ExpectUpgradedTextEntries(path);
    EXPECT_EQ(NamesIn(dir.Path()), (std::set<std::string>{"pics.zok", "~pics.zok", "temp.tmp"}));
    EXPECT_EQ(ReadFile(dir.File("~pics.zok")), "user's own file");
    EXPECT_EQ(ReadFile(dir.File("temp.tmp")), "user's temp");
}

TEST(UpgradeArchive, UnreadableEntryStopsAndChangesNothing) {
    // A zlib stream with a flipped byte cannot be inflated.
    std::vector<HandEntry> flipped = TextEntries();
    flipped[2].data[flipped[2].data.size() / 2] ^= 0x55;
    // A source size no stored data can give must fail before anything is allocated for it.
    std::vector<HandEntry> huge = TextEntries();
    huge[2].sourceSize = 0xFFFFFFF0u;
    for (const auto& entries : {flipped, huge}) {
        for (bool inPlace : {false, true}) {
            SCOPED_TRACE(inPlace);
            TempDir dir;
            const std::string path = dir.File("pics.zok");
            const std::string bytes = MakeArchive(entries, false);
            WriteFile(path, bytes);
            UpgradeReport report;
            EXPECT_EQ(UpgradeArchive(path, inPlace, nullptr, &report), kUpgradeEntryUnreadable);
            EXPECT_EQ(report.problem.entry, "README") << DescribeProblem(report.problem);
            EXPECT_EQ(ReadFile(path), bytes);
            EXPECT_EQ(NamesIn(dir.Path()), std::set<std::string>{"pics.zok"});
        }
    }
}

TEST(UpgradeArchive, NewArchiveThatCannotBeCreatedGivesThree) {
    TempDir dir;
    const std::string path = dir.File("pics.zok");
    const std::string bytes = MakeArchive(TextEntries(), false);
    WriteFile(path, bytes);
    // A folder stands where the new archive should go.
    std::filesystem::create_directory(dir.File("pics110.zok"));
    UpgradeReport report;
    EXPECT_EQ(UpgradeArchive(path, false, nullptr, &report), kUpgradeNoNewArchive);
    EXPECT_EQ(report.problem.path, dir.File("pics110.zok")) << DescribeProblem(report.problem);
    EXPECT_EQ(ReadFile(path), bytes);
    EXPECT_EQ(NamesIn(dir.Path()), (std::set<std::string>{"pics.zok", "pics110.zok"}));

    // A name without ".zok" keeps its whole name and gets "110.zok" after it.
    const std::string shortPath = dir.File("a.z");
    WriteFile(shortPath, bytes);
    EXPECT_EQ(UpgradedArchiveName(shortPath), dir.File("a.z110.zok"));
    EXPECT_EQ(UpgradedArchiveName("/x/Pics.ZOK"), "/x/Pics110.zok");
    EXPECT_EQ(UpgradedArchiveName("/x/.zok"), "/x/110.zok");
    ASSERT_EQ(UpgradeArchive(shortPath, false, nullptr, &report), kUpgradeDone);
    ExpectUpgradedTextEntries(dir.File("a.z110.zok"));
    // In place the name stays.
    EXPECT_EQ(UpgradeArchive(shortPath, true, nullptr), kUpgradeDone);
    ExpectUpgradedTextEntries(shortPath);
}

TEST(UpgradeArchive, AnExistingOutputIsKeptWhenTheCallerSaysSo) {
    TempDir dir;
    const std::string path = dir.File("pics.zok");
    WriteFile(path, MakeArchive(TextEntries(), false));
    const std::string target = dir.File("pics110.zok");
    for (const bool before : {true, false}) {
        SCOPED_TRACE(before ? "there before the upgrade" : "made while it ran");
        std::filesystem::remove(target);
        if (before) {
            WriteFile(target, "mine");
        }
        int reports = 0;
        UpgradeOptions keep;
        keep.replaceExisting = false;
        keep.progress = [&](const UpgradeProgress&) {
            if (++reports == 1 && !before) {
                WriteFile(target, "mine");
            }
        };
        UpgradeReport report;
        EXPECT_EQ(UpgradeArchive(path, false, keep, &report), UpgradeResult::NoNewArchive);
        EXPECT_EQ(report.problem.code, ErrorCode::AlreadyExists) << DescribeProblem(report.problem);
        EXPECT_EQ(report.problem.path, target);
        EXPECT_EQ(ReadFile(target), "mine");
        EXPECT_EQ(NamesIn(dir.Path()), (std::set<std::string>{"pics.zok", "pics110.zok"}));
        // One that is there already is refused before any entry is read.
        EXPECT_EQ(reports == 0, before) << reports;
    }
}

TEST(UpgradeArchive, TheOldArchiveIsNeverItsOwnOutput) {
    TempDir dir;
    const std::string path = dir.File("pics.zok");
    const std::string bytes = MakeArchive(TextEntries(), false);
    WriteFile(path, bytes);
    std::filesystem::create_hard_link(path, dir.File("link.zok"));
    for (const std::string& output : {path, dir.File("link.zok")}) {
        SCOPED_TRACE(output);
        UpgradeOptions options;
        options.outputPath = output;
        UpgradeReport report;
        EXPECT_EQ(UpgradeArchive(path, false, options, &report), UpgradeResult::NoNewArchive);
        EXPECT_EQ(report.problem.code, ErrorCode::OutputIsInput) << DescribeProblem(report.problem);
        EXPECT_EQ(ReadFile(path), bytes);
        EXPECT_EQ(NamesIn(dir.Path()), (std::set<std::string>{"pics.zok", "link.zok"}));
    }
}

TEST(UpgradeArchive, ACancelFromAProgressReportStopsRightThere) {
    TempDir dir;
    const std::string path = dir.File("pics.zok");
    // Entries left empty are carried over without a read: only the upgrade itself sees a cancel.
    const std::string bytes =
        MakeArchive({DeflatedEntry("a.txt", "a"), HandEntry("lost.png", "", 2, 70, 0),
                     HandEntry("gone.png", "", 2, 70, 0)},
                    false);
    WriteFile(path, bytes);
    for (const int at : {1, 3}) {
        SCOPED_TRACE(at);
        std::atomic<bool> cancel{false};
        int reports = 0;
        UpgradeOptions options;
        options.cancel = &cancel;
        options.progress = [&](const UpgradeProgress&) {
            if (++reports == at) {
                cancel = true;
            }
        };
        EXPECT_EQ(UpgradeArchive(path, false, options), UpgradeResult::Cancelled);
        EXPECT_EQ(reports, at);
        EXPECT_EQ(ReadFile(path), bytes);
        EXPECT_EQ(NamesIn(dir.Path()), std::set<std::string>{"pics.zok"});
    }
}

// Runs an in-place upgrade in a child whose files may not grow past limit bytes; its result, or
// 99 when it failed for another reason than a file too large.
int UpgradeUnderSizeLimit(const std::string& path, rlim_t limit) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit rl{limit, limit};
        ::setrlimit(RLIMIT_FSIZE, &rl);
        try {
            UpgradeReport report;
            const int32_t result = UpgradeArchive(path, true, nullptr, &report);
            ::_exit(result != kUpgradeDone && report.problem.errorNumber != EFBIG ? 99 : result);
        } catch (...) {
            ::_exit(100);
        }
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(UpgradeArchive, FullDiskStopsWithTheArchiveUnchanged) {
    TempDir dir;
    const std::string path = dir.File("pics.zok");
    // One large, well compressed entry: its content does not fit the temporary file.
    const std::string bytes = MakeArchive(
        {DeflatedEntry("a.txt", "small"), DeflatedEntry("b.txt", TextBytes(200000))}, false);
    WriteFile(path, bytes);
    // Stopped all the same when only its last bytes, still in the stream's buffer, do not fit.
    for (const rlim_t limit : {rlim_t(100000), rlim_t(199999)}) {
        EXPECT_EQ(UpgradeUnderSizeLimit(path, limit), kUpgradeNoTempFile) << limit;
        EXPECT_EQ(ReadFile(path), bytes);
        EXPECT_EQ(NamesIn(dir.Path()), std::set<std::string>{"pics.zok"});
    }

    // Random content does not compress: the temporary file fits, the new archive does not.
    const std::string random = RandomBytes(60000, 9);
    const std::string second = MakeArchive(
        {DeflatedEntry("a.txt", random), DeflatedEntry("b.txt", RandomBytes(60000, 10))}, false);
    WriteFile(path, second);
    EXPECT_EQ(UpgradeUnderSizeLimit(path, 90000), kUpgradeNoNewArchive);
    EXPECT_EQ(ReadFile(path), second);
    EXPECT_EQ(NamesIn(dir.Path()), std::set<std::string>{"pics.zok"});
}

TEST(UpgradeArchive, OpenFailuresPassThrough) {
    TempDir dir;
    EXPECT_THROW(UpgradeArchive(dir.File("missing.zok"), true, nullptr), ZokOpenError);
    std::string hostile;
    AppendU32(hostile, 0xFFFFFFFFu);
    WriteFile(dir.File("hostile.zok"), hostile + "xxxx");
    EXPECT_THROW(UpgradeArchive(dir.File("hostile.zok"), true, nullptr), ZokError);
    EXPECT_EQ(NamesIn(dir.Path()), std::set<std::string>{"hostile.zok"});
}

}  // namespace

namespace {

struct Picture {
    std::vector<uint8_t> pixels;
    std::vector<uint8_t> alpha;
};

Picture Decode(CZokFile& zok, size_t index) {
    BITMAPINFOHEADER header;
    PixelBuffer alpha;
    PixelBuffer pixels = zok.DecodeEntryBitmapAt(index, &header, &alpha);
    Picture p;
    if (pixels) {
        p.pixels.assign(pixels.get(), pixels.get() + header.biSizeImage);
    }
    if (alpha) {
        p.alpha.assign(alpha.get(), alpha.get() + size_t(header.biWidth) * header.biHeight);
    }
    return p;
}

TEST(UpgradeArchivePictures, Version100PicturesBecomePngStreamsBothWays) {
    const RgbaImage photo = PatternImage(7, 3, 41);
    const RgbaImage icon = PatternImage(3, 3, 42, true);
    const std::string iconPng = MakePng(PngImageFromRgba(icon, true));
    const std::vector<HandEntry> entries = {
        HandEntry("photo.bmp", MakeBmp24(photo), 1), HandEntry("icon.png", iconPng, 2, 12345),
        // Already a PNG stream under a bmp name: still re-encoded as a PNG.
        HandEntry("made.bmp", MakePng(PngImageFromRgba(photo, false)), 2, 999),
        DeflatedEntry("notes.txt", TextBytes(700)), HandEntry("keep.old", "as is", 3)};
    for (bool inPlace : {false, true}) {
        SCOPED_TRACE(inPlace);
        TempDir dir;
        const std::string path = dir.File("pics.zok");
        WriteFile(path, MakeArchive(entries, false));
        UpgradeReport report;
        ASSERT_EQ(UpgradeArchive(path, inPlace, nullptr, &report), kUpgradeDone)
            << DescribeProblem(report.problem);
        EXPECT_TRUE(report.unencoded.empty());
        const std::string result = inPlace ? path : dir.File("pics110.zok");
        const std::set<std::string> expected =
            inPlace ? std::set<std::string>{"pics.zok"}
                    : std::set<std::string>{"pics.zok", "pics110.zok"};
        EXPECT_EQ(NamesIn(dir.Path()), expected);
        CZokFile zok(result);
        EXPECT_EQ(zok.Version(), "110");
        ASSERT_EQ(zok.Count(), 5u);
        const std::vector<EntryKind> kinds = {EntryKind::PngStream, EntryKind::PngStream,
                                              EntryKind::PngStream, EntryKind::Other,
                                              EntryKind::Other};
        for (size_t i = 0; i < kinds.size(); ++i) {
            EXPECT_EQ(zok.Record(i).kind, kinds[i]) << i;
        }
        // The source size of a re-encoded picture is the size of what the old entry held.
        EXPECT_EQ(zok.Record(0).sourceSize, entries[0].data.size());
        EXPECT_EQ(Decode(zok, 0).pixels, BottomUpBgr(photo));
        const Picture iconBack = Decode(zok, 1);
        EXPECT_EQ(iconBack.pixels, BottomUpBgr(icon, false));
        EXPECT_EQ(iconBack.alpha, TopDownAlpha(icon));
        EXPECT_EQ(Decode(zok, 2).pixels, BottomUpBgr(photo));
        EXPECT_EQ(Content(zok, 3), TextBytes(700));
        EXPECT_EQ(Content(zok, 4), "as is");
    }
}

TEST(UpgradeArchivePictures, UnencodablePictureKeepsTheOldArchive) {
    TempDir dir;
    const std::string path = dir.File("pics.zok");
    // A stored bitmap the picture codec does not take (16 bits per pixel).
    BmpLayout layout;
    const std::string odd = AssembleBmp(2, 2, 16, layout, "", std::string(8, '\x11'));
    const std::string bytes = MakeArchive({HandEntry("odd.bmp", odd, 1)}, false);
    WriteFile(path, bytes);
    UpgradeReport report;
    ASSERT_EQ(UpgradeArchive(path, true, nullptr, &report), kUpgradeDone);
    EXPECT_EQ(report.unencoded, std::vector<std::string>{"odd.bmp"});
    EXPECT_EQ(report.keptBackup, dir.File("~pics.zok"));
    EXPECT_EQ(ReadFile(dir.File("~pics.zok")), bytes);
}

}  // namespace
