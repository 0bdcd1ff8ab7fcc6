// The zok commands on damaged and hostile archives: every damaged or empty entry is named, no
// file is left half-written, and what an archive costs is bounded by what it holds.

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>

#include "tests/archive/handmade_archive.h"
#include "tests/support/image_writers.h"
#include "tests/support/test_support.h"

using namespace zok;

using namespace zoktest;

namespace {

constexpr uint64_t kMiB = 1 << 20;

CommandResult Zok(const std::vector<std::string>& args, RunOptions options = {}) {
    std::vector<std::string> argv = {ZokPath()};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProgram(argv, options);
}

// One PNG chunk: length, type, data, CRC.
std::string Chunk(const std::string& type, const std::string& data) {
    std::string out;
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(char(data.size() >> shift));
    }
    const std::string body = type + data;
    out += body;
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size()));
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(char(crc >> shift));
    }
    return out;
}

#define SKIP_UNDER_SANITIZERS()                                                             \
    if (UnderAddressSanitizer() || UnderThreadSanitizer()) {                                \
        GTEST_SKIP() << "a data cap cannot hold the shadow memory of "                      \
                     << (UnderAddressSanitizer() ? "AddressSanitizer" : "ThreadSanitizer"); \
    }

// Sound entries between an entry left empty and a deflate entry short of its size.
struct DamagedArchive {
    TempDir dir;
    std::string path = dir.File("d.zok");
    std::string png = MakePng(PngImageFromRgba(PatternImage(6, 4, 3), false));

    DamagedArchive() {
        const uint32_t dataStart = 10 + 4 * 17 + 8 + 8 + 9 + 8;
        WriteFile(path, MakeArchive({DeflatedEntry("good.txt", "good"),
                                     HandEntry("lost.png", "", 2, 700, 0, dataStart + 12),
                                     HandEntry("short.txt", Deflate("abc"), 3, 900),
                                     HandEntry("good.png", png, 2)}));
    }
};

TEST(DamagedEntries, EveryCommandNamesThemAndLeavesNothingHalfWritten) {
    DamagedArchive a;
    CommandResult r = Zok({"test", a.path});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_NE(r.out.find("4 entries, 2 damaged"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("\"lost.png\": holds no data: it could not be encoded"), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("\"short.txt\": damaged: it inflates to fewer bytes"), std::string::npos)
        << r.err;

    const std::string out = a.dir.File("out");
    r = Zok({"extract", "-C", out, a.path});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_NE(r.err.find("\"lost.png\": holds no data"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("\"short.txt\": it inflates to fewer bytes"), std::string::npos) << r.err;
    // No temporary or partial file, hidden or not.
    EXPECT_EQ(NamesIn(out), (std::set<std::string>{"good.png", "good.txt"}));
    EXPECT_EQ(ReadFile(out + "/good.png"), a.png);

    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"cat", a.path, "short.txt"},
          std::vector<std::string>{"bitmap", a.path, "lost.png", a.dir.File("x.bmp")}}) {
        r = Zok(args);
        EXPECT_EQ(r.exitStatus, 1) << args[0];
        EXPECT_NE(r.err.find(args[0] == "cat" ? "fewer bytes" : "holds no data"), std::string::npos)
            << r.err;
    }
    EXPECT_FALSE(FileExists(a.dir.File("x.bmp")));

    r = Zok({"list", a.path});
    EXPECT_NE(r.out.find("lost.png  (no data"), std::string::npos) << r.out;
    r = Zok({"list", "--json", a.path});
    EXPECT_NE(r.out.find("\"name\": \"lost.png\", \"kind\": 2, \"kindName\": \"png\", \"offset\": "
                         "123, \"sourceSize\": 700, \"storedSize\": 0, \"holdsData\": false"),
              std::string::npos)
        << r.out;
}

TEST(DamagedEntries, UpgradeStopsAtDamageAndCarriesEmptyEntriesOver) {
    TempDir dir;
    const std::string damaged = dir.File("damaged.zok"), empty = dir.File("empty.zok");
    const std::string damagedBytes = MakeArchive(
        {DeflatedEntry("a.txt", "aaaa"), HandEntry("short.txt", Deflate("abc"), 3, 900)}, false);
    WriteFile(damaged, damagedBytes);
    CommandResult r = Zok({"upgrade", "--in-place", damaged});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_NE(r.err.find("\"short.txt\": it inflates to fewer bytes"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile(damaged), damagedBytes);

    const uint32_t dataStart = 4 + 2 * 17 + 8 + 5;
    WriteFile(empty, MakeArchive({HandEntry("lost.png", "", 2, 70, 0, dataStart),
                                  DeflatedEntry("b.txt", "bbbb")},
                                 false));
    r = Zok({"upgrade", empty});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_NE(r.err.find("carried over as an empty entry"), std::string::npos) << r.err;
    r = Zok({"list", "--json", dir.File("empty110.zok")});
    EXPECT_NE(r.out.find("\"name\": \"lost.png\", \"kind\": 2"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"holdsData\": false"), std::string::npos) << r.out;
    EXPECT_EQ(Zok({"cat", dir.File("empty110.zok"), "b.txt"}).out, "bbbb");
}

TEST(DamagedEntries, OverlappingEntriesWriteNothing) {
    TempDir dir;
    const std::string stream = Deflate(std::string(1000000, 'z'));
    std::vector<HandEntry> copies;
    for (int i = 0; i < 50; ++i) {
        copies.push_back(HandEntry("c" + std::to_string(10 + i), i == 0 ? stream : "", 3, 1000000,
                                   uint32_t(stream.size()), 10 + 50 * 20));
    }
    WriteFile(dir.File("o.zok"), MakeArchive(copies));
    for (const char* command : {"extract", "test"}) {
        const std::string out = dir.File(std::string("out-") + command);
        const CommandResult r = command == std::string("extract")
                                    ? Zok({"extract", "-C", out, dir.File("o.zok")})
                                    : Zok({"test", dir.File("o.zok")});
        EXPECT_EQ(r.exitStatus, 1) << command;
        EXPECT_NE(r.err.find("entries 1 and 2 overlap"), std::string::npos) << r.err;
    }
    EXPECT_FALSE(FileExists(dir.File("out-extract")));
}

// What a command may allocate is capped far below what the archive's records claim: a command
// that trusted them would fail for want of memory instead of naming the damage.
TEST(HostileArchives, CostWhatTheyHoldUnderADataCap) {
    SKIP_UNDER_SANITIZERS();
    TempDir dir;
    RunOptions capped;
    capped.dataLimit = 64 * kMiB;

    // A 99-byte PNG entry whose header claims 680 x 1,000,000 pixels, followed by enough
    // bytes of another entry to hold them if the entry's end were not its limit.
    const std::string noise = RandomBytes(2 * kMiB, 4);
    std::string ihdr;
    for (uint32_t v : {680u, 1000000u}) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            ihdr.push_back(char(v >> shift));
        }
    }
    ihdr += std::string("\x08\x02\x00\x00\x00", 5);
    const std::string png = std::string("\x89PNG\r\n\x1a\n", 8) + Chunk("IHDR", ihdr) +
                            Chunk("IDAT", Deflate(std::string(30, '\0'))) + Chunk("IEND", "");
    WriteFile(dir.File("p.zok"),
              MakeArchive({HandEntry("huge.png", png, 2), HandEntry("noise.old", noise, 3)}));
    // Refused by its pixel count before anything is allocated; with the limit raised, by the
    // entry's end.
    CommandResult r = Zok({"bitmap", dir.File("p.zok"), "huge.png", dir.File("h.bmp")}, capped);
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_NE(r.err.find("more than 268435456 pixels"), std::string::npos) << r.err;
    r = Zok(
        {"bitmap", "--max-pixels", "1000000000", dir.File("p.zok"), "huge.png", dir.File("h.bmp")},
        capped);
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_NE(r.err.find("its picture is damaged"), std::string::npos) << r.err;

    // A 1.0.0 entry of 2 MB claiming 2 GB of content: found short while it streams.
    WriteFile(dir.File("u.zok"),
              MakeArchive({HandEntry("big.txt", Deflate(noise), 3, 2000000000u)}, false));
    r = Zok({"upgrade", dir.File("u.zok")}, capped);
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_NE(r.err.find("fewer bytes"), std::string::npos) << r.err;

    // A 64 MB entry extracted and read through 16 MB.
    WriteFile(dir.File("zeros"), std::string(64 * kMiB, '\0'));
    ASSERT_EQ(Zok({"create", dir.File("z.zok"), dir.File("zeros")}).exitStatus, 0);
    capped.dataLimit = 16 * kMiB;
    r = Zok({"extract", "-C", dir.File("out"), dir.File("z.zok")}, capped);
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(std::filesystem::file_size(dir.File("out/zeros")), 64 * kMiB);
    capped.discardOutput = true;
    EXPECT_EQ(Zok({"cat", dir.File("z.zok"), "zeros"}, capped).exitStatus, 0);
}

// A 4096 x 4096 picture (16 M pixels, 48 MiB decoded) packed into a few kilobytes: checking it
// and writing it as a BMP file cost a row of memory, so they work under a 24 MiB data cap.
TEST(HostileArchives, PicturesAreDecodedRowByRowWithinADataCap) {
    SKIP_UNDER_SANITIZERS();
    TempDir dir;
    constexpr uint32_t kSide = 4096;
    std::string ihdr;
    for (uint32_t v : {kSide, kSide}) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            ihdr.push_back(char(v >> shift));
        }
    }
    ihdr += std::string("\x01\x00\x00\x00\x00", 5);  // 1-bit grey
    const std::string rows(size_t(kSide) * (1 + kSide / 8), '\0');
    const std::string png = std::string("\x89PNG\r\n\x1a\n", 8) + Chunk("IHDR", ihdr) +
                            Chunk("IDAT", Deflate(rows)) + Chunk("IEND", "");
    WriteFile(dir.File("p.zok"), MakeArchive({HandEntry("bomb.bmp", png, 2, 1000)}));
    RunOptions capped;
    capped.dataLimit = 24 * kMiB;
    CommandResult r = Zok({"test", dir.File("p.zok")}, capped);
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    r = Zok({"extract", "-C", dir.File("out"), dir.File("p.zok")}, capped);
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(std::filesystem::file_size(dir.File("out/bomb.bmp")), 54 + 3ull * kSide * kSide);
    r = Zok(
        {"bitmap", dir.File("p.zok"), "bomb.bmp", dir.File("b.bmp"), "--alpha", dir.File("b.pgm")},
        capped);
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(ReadFile(dir.File("b.bmp")), ReadFile(dir.File("out/bomb.bmp")));
    EXPECT_EQ(std::filesystem::file_size(dir.File("b.pgm")), 17 + uint64_t(kSide) * kSide);
}

TEST(HostileArchives, TwoMillionEmptyEntriesAreListedInNinetySixMegabytes) {
    SKIP_UNDER_SANITIZERS();
    TempDir dir;
    constexpr uint32_t kCount = 2000000;
    std::string head = "ZOK110";
    AppendU32(head, kCount);
    std::string record;
    AppendU32(record, 0);
    AppendU32(record, 10 + 17 * kCount);
    AppendU32(record, 0);
    AppendU32(record, 0);
    record.push_back('\3');
    std::string bytes = head;
    bytes.reserve(head.size() + record.size() * kCount);
    for (uint32_t i = 0; i < kCount; ++i) {
        bytes += record;
    }
    WriteFile(dir.File("many.zok"), bytes);
    bytes = std::string();
    RunOptions capped;
    capped.dataLimit = 96 * kMiB;
    capped.discardOutput = true;
    for (const char* flag : {"", "--json"}) {
        std::vector<std::string> args = {"list", dir.File("many.zok")};
        if (*flag != '\0') {
            args.insert(args.begin() + 1, flag);
        }
        const CommandResult r = Zok(args, capped);
        EXPECT_EQ(r.exitStatus, 0) << flag << r.err;
    }
}

}  // namespace
