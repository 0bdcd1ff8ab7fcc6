#include "zok/zok_file.h"

#include <gtest/gtest.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "tests/archive/handmade_archive.h"
#include "tests/support/image_writers.h"
#include "tests/support/test_support.h"
#include "zok/build_archive.h"
#include "zok/load_png_file.h"

using namespace zok;

using namespace zoktest;

namespace {

std::string Extract(CZokFile& zok, const std::string& name) {
    std::string out(zok.GetEntrySize(name), '\0');
    if (!zok.ExtractEntry(name, reinterpret_cast<uint8_t*>(out.data()))) {
        return "<failed>";
    }
    return out;
}

std::string ExtractAt(CZokFile& zok, size_t index) {
    if (zok.EntryProblem(index)) {
        // Never allocate what a damaged record claims; a one-byte buffer shows any overrun.
        uint8_t byte[1];
        return zok.ExtractEntryAt(index, byte) ? "<extracted a damaged entry>" : "<failed>";
    }
    std::string out(zok.GetEntrySizeAt(index), '\0');
    if (!zok.ExtractEntryAt(index, reinterpret_cast<uint8_t*>(out.data()))) {
        return "<failed>";
    }
    return out;
}

// The message of the ZokError that opening path raises, or "" when it opens.
std::string OpenError(const std::string& path) {
    try {
        CZokFile zok(path);
    } catch (const ZokError& e) {
        return e.what();
    }
    return "";
}

// What the ZokError that opening path raises carries.
Error OpenProblem(const std::string& path) {
    try {
        CZokFile zok(path);
    } catch (const ZokError& e) {
        return e.Problem();
    }
    return Error();
}

TEST(ZokFile, ReadsWhatTheBuilderWrote) {
    TempDir dir;
    const std::string text = TextBytes(5000), old = RandomBytes(3000), plain = "no extension";
    // Incompressible: its stream is longer than one piece of the inflater's input.
    const std::string noise = RandomBytes(600000, 5);
    WriteFile(dir.File("readme.txt"), text);
    WriteFile(dir.File("notes.old"), old);
    WriteFile(dir.File("README"), plain);
    WriteFile(dir.File("empty.old"), "");
    WriteFile(dir.File("noise.bin"), noise);
    const std::string path = dir.File("a.zok");
    ASSERT_TRUE(BuildArchive({dir.File("readme.txt"), dir.File("notes.old"), dir.File("README"),
                              dir.File("empty.old"), dir.File("noise.bin")},
                             path, nullptr));

    CZokFile zok(path);
    EXPECT_EQ(zok.Version(), "110");
    ASSERT_EQ(zok.Count(), 5u);
    EXPECT_GT(zok.Record(4).storedSize, 512u * 1024);
    EXPECT_EQ(Extract(zok, "noise.bin"), noise);
    // Streamed: complete only once every byte was handed out.
    const std::unique_ptr<EntryReader> reader = zok.OpenEntry(4);
    std::string streamed(1000, '\0');
    ASSERT_EQ(reader->Read(streamed.data(), streamed.size()), streamed.size());
    EXPECT_EQ(reader->Done(), 1000u);
    EXPECT_FALSE(reader->Complete());
    EXPECT_FALSE(reader->Problem());
    char piece[65536];
    for (size_t n; (n = reader->Read(piece, sizeof piece)) > 0;) {
        streamed.append(piece, n);
    }
    EXPECT_TRUE(reader->Complete());
    EXPECT_EQ(streamed, noise);
    EXPECT_EQ(zok.Record(0).name, "readme.txt");
    EXPECT_EQ(zok.GetEntrySize("readme.txt"), text.size());
    EXPECT_LT(zok.Record(0).storedSize, text.size());
    EXPECT_EQ(Extract(zok, "readme.txt"), text);
    // Lookups fold case; operations may come in any order.
    EXPECT_EQ(Extract(zok, "README.TXT"), text);
    // Stored entries carry kind 3 but come back through the stored codec, byte for byte.
    EXPECT_EQ(zok.Record(1).kind, EntryKind::Other);
    EXPECT_EQ(Extract(zok, "NOTES.OLD"), old);
    EXPECT_EQ(Extract(zok, "readme"), plain);
    EXPECT_EQ(zok.GetEntrySize("empty.old"), 0u);
    EXPECT_TRUE(zok.ExtractEntry("empty.old", nullptr));

    // Kind 3 entries are not pictures.
    BITMAPINFOHEADER header;
    PixelBuffer alpha(new uint8_t[1]);
    EXPECT_EQ(zok.DecodeEntryBitmap("readme.txt", &header, &alpha), nullptr);
    EXPECT_EQ(alpha, nullptr);
    EXPECT_FALSE(zok.ReadEntryBitmapInfo("readme.txt", &header));

    // Unknown names.
    alpha.reset(new uint8_t[1]);
    EXPECT_EQ(zok.GetEntrySize("missing.txt"), 0u);
    uint8_t byte = 0;
    EXPECT_FALSE(zok.ExtractEntry("missing.txt", &byte));
    EXPECT_EQ(zok.DecodeEntryBitmap("missing.txt", &header, &alpha), nullptr);
    EXPECT_EQ(alpha, nullptr);
    EXPECT_FALSE(zok.ReadEntryBitmapInfo("missing.txt", &header));
    EXPECT_FALSE(zok.Find("readme.tx"));
}

TEST(ZokFile, DuplicateNamesFindTheFirstAndStayReachableByPosition) {
    TempDir dir;
    const std::string path = dir.File("dup.zok");
    // "갂" and "갵" are CP949 0x81 0x41 and 0x81 0x61: their trail bytes are "A" and "a", and
    // they are two characters, not one in two cases.
    WriteFile(path, MakeArchive({DeflatedEntry("x.txt", "first"), DeflatedEntry("X.TXT", "second"),
                                 DeflatedEntry("y.txt", "third"), DeflatedEntry("x.txt", "fourth"),
                                 DeflatedEntry("\x81\x41.txt", "gak"),
                                 DeflatedEntry("\x81\x61.txt", "gat")}));
    CZokFile zok(path);
    EXPECT_EQ(zok.Find("x.Txt"), 0u);
    EXPECT_EQ(zok.Find("Y.TXT"), 2u);
    EXPECT_EQ(zok.Find("갂.TXT"), 4u);
    EXPECT_EQ(zok.Find("갵.txt"), 5u);
    EXPECT_EQ(Extract(zok, "X.txt"), "first");
    EXPECT_EQ(zok.GetEntrySize("X.TXT"), 5u);
    EXPECT_EQ(ExtractAt(zok, 1), "second");
    EXPECT_EQ(ExtractAt(zok, 3), "fourth");
}

TEST(ZokFile, ReadsVersion100WithEveryKind) {
    TempDir dir;
    const std::string path = dir.File("pics.zok");
    const std::string text = TextBytes(2000), old = RandomBytes(100, 7);
    const std::string stream = "\x89PNG\r\n\x1a\n-not-decoded-here";
    const std::string stored = "BM" + RandomBytes(200, 3);
    WriteFile(path, MakeArchive({DeflatedEntry("a.txt", text),
                                 {"b.old", old, 3},
                                 {"c.png", stream, 2, 99999},
                                 {"d.bmp", stored, 1},
                                 {"e.bmp", stored, 0}},
                                /*withMagic=*/false));
    CZokFile zok(path);
    EXPECT_EQ(zok.Version(), "100");
    ASSERT_EQ(zok.Count(), 5u);
    EXPECT_EQ(Extract(zok, "a.txt"), text);
    EXPECT_EQ(Extract(zok, "b.old"), old);
    // A PNG stream's size is its stored size, whatever its source was.
    EXPECT_EQ(zok.GetEntrySize("c.png"), stream.size());
    EXPECT_EQ(Extract(zok, "c.png"), stream);
    EXPECT_EQ(Extract(zok, "d.bmp"), stored);
    EXPECT_EQ(Extract(zok, "e.bmp"), stored);
    // Kind 0 is read by the extract operation only.
    BITMAPINFOHEADER header;
    EXPECT_EQ(zok.DecodeEntryBitmap("e.bmp", &header, nullptr), nullptr);
    EXPECT_FALSE(zok.ReadEntryBitmapInfo("e.bmp", &header));
}

TEST(ZokFile, StoredBitmapEntriesNeverOverrunTheCallersBuffer) {
    TempDir dir;
    const std::string path = dir.File("k1.zok");
    const std::string data = RandomBytes(64, 5);
    // storedSize larger than sourceSize: only sourceSize bytes fit the buffer.
    HandEntry larger{"big.bmp", data, 1, 40};
    // storedSize smaller than sourceSize: the content is incomplete.
    HandEntry smaller{"small.bmp", data.substr(0, 20), 1, 30};
    WriteFile(path, MakeArchive({larger, smaller}, false));
    CZokFile zok(path);
    ASSERT_EQ(zok.GetEntrySize("big.bmp"), 40u);
    std::vector<uint8_t> exact(40);  // exactly the reported size, so ASan sees any overrun
    ASSERT_TRUE(zok.ExtractEntry("big.bmp", exact.data()));
    EXPECT_EQ(std::string(exact.begin(), exact.end()), data.substr(0, 40));

    std::vector<uint8_t> buffer(zok.GetEntrySize("small.bmp"));
    EXPECT_FALSE(zok.ExtractEntry("small.bmp", buffer.data()));
    EXPECT_TRUE(zok.EntryProblem(1));
}

TEST(ZokFile, DamagedEntriesFailCleanly) {
    TempDir dir;
    const std::string path = dir.File("bad.zok");
    HandEntry hugeSource = DeflatedEntry("huge.txt", "x");
    hugeSource.sourceSize = 0xFFFFFFFFu;
    HandEntry oldTooLong{"long.old", "abc", 3, 4};
    HandEntry unknownKind{"odd.bin", "abc", 7};
    HandEntry noData{"lost.png", "", 2, 500};
    HandEntry good = DeflatedEntry("good.txt", "fine");
    // The last entry claims more bytes than the file holds: the archive was cut short.
    HandEntry pastEnd = DeflatedEntry("past.txt", TextBytes(300));
    pastEnd.storedSize = 100000;
    WriteFile(path, MakeArchive({hugeSource, oldTooLong, unknownKind, noData, good, pastEnd}));
    CZokFile zok(path);
    for (size_t i : {0, 1, 2, 3, 5}) {
        SCOPED_TRACE(zok.Record(i).name);
        const Error problem = zok.EntryProblem(i);
        ASSERT_TRUE(problem);
        EXPECT_EQ(problem.path, path);
        EXPECT_EQ(problem.entry, zok.Record(i).name);
        EXPECT_EQ(ExtractAt(zok, i), "<failed>");
        const std::unique_ptr<EntryReader> reader = zok.OpenEntry(i);
        EXPECT_EQ(reader->Problem().code, problem.code);
        uint8_t piece[16];
        EXPECT_EQ(reader->Read(piece, sizeof piece), 0u);
        EXPECT_FALSE(reader->Complete());
        BITMAPINFOHEADER header;
        PixelBuffer alpha(new uint8_t[1]);
        EXPECT_EQ(zok.DecodeEntryBitmapAt(i, &header, &alpha), nullptr);
        EXPECT_EQ(alpha, nullptr);
        EXPECT_FALSE(zok.ReadEntryBitmapInfoAt(i, &header));
    }
    EXPECT_EQ(zok.EntryProblem(2).code, ErrorCode::UnknownKind);
    EXPECT_EQ(zok.EntryProblem(2).number, 7u);
    EXPECT_EQ(zok.EntryProblem(3).code, ErrorCode::HoldsNoData);
    EXPECT_TRUE(zok.HoldsNoData(3));
    EXPECT_EQ(zok.EntryProblem(5).code, ErrorCode::DataPastEnd);
    // The damaged neighbours do not spoil a sound entry.
    EXPECT_FALSE(zok.EntryProblem(4));
    EXPECT_EQ(Extract(zok, "good.txt"), "fine");
}

// Reading when memory has run out reports just that, never damage, and hands out nothing:
// neither the reader's piece (1 MiB of a large stored entry) nor the inflater's input buffer
// (for a small deflated one) can be had. Each entry is read by this test program started afresh,
// whose memory is capped just above what it uses once the entry is open.
TEST(ZokFile, RunningOutOfMemoryWhileReadingIsNoDamage) {
    if (const char* entry = std::getenv("ZOK_TEST_READ_CAPPED")) {
        const CZokFile zok(std::getenv("ZOK_TEST_ARCHIVE"));
        const std::unique_ptr<EntryReader> reader = zok.OpenEntry(std::stoul(entry));
        ::mallopt(M_MMAP_THRESHOLD, 64 * 1024);  // large buffers are mapped, and so counted
        const std::string status = ReadFile("/proc/self/status");
        const rlim_t inUse = rlim_t(std::stoull(status.substr(status.find("VmData:") + 7))) * 1024;
        const rlimit cap{inUse + 64 * 1024, inUse + 64 * 1024};
        ::setrlimit(RLIMIT_DATA, &cap);
        uint64_t handedOut = 0;
        const Error error = DrainEntry(*reader, [&](const uint8_t*, size_t size) {
            handedOut += size;
            return true;
        });
        ::_exit(error.code != ErrorCode::OutOfMemory ? 1 : handedOut != 0 ? 2 : 0);
    }
    if (UnderAddressSanitizer() || UnderThreadSanitizer()) {
        GTEST_SKIP() << "a data cap cannot hold a sanitizer's shadow memory";
    }
    TempDir dir;
    const std::string path = dir.File("m.zok");
    WriteFile(path, MakeArchive({HandEntry("large.old", std::string(8 << 20, 'z')),
                                 DeflatedEntry("small.txt", "small")}));
    ::setenv("ZOK_TEST_ARCHIVE", path.c_str(), 1);
    for (const char* entry : {"0", "1"}) {
        ::setenv("ZOK_TEST_READ_CAPPED", entry, 1);
        const CommandResult r = RunProgram(
            {"/proc/self/exe", "--gtest_filter=ZokFile.RunningOutOfMemoryWhileReadingIsNoDamage"});
        EXPECT_EQ(r.exitStatus, 0) << "entry " << entry << r.err;
    }
    ::unsetenv("ZOK_TEST_READ_CAPPED");
    ::unsetenv("ZOK_TEST_ARCHIVE");
}

TEST(ZokFile, RejectsEveryTruncationOfHeaderAndDirectory) {
    TempDir dir;
    for (bool withMagic : {true, false}) {
        const std::string full = MakeArchive(
            {DeflatedEntry("one.txt", "1111"), {"two.old", "22", 3}, DeflatedEntry("", "")},
            withMagic);
        const size_t dirEnd = (withMagic ? 10 : 4) + 3 * 17 + 7 + 7;
        const std::string path = dir.File("cut.zok");
        for (size_t cut = 0; cut < dirEnd; ++cut) {
            SCOPED_TRACE(cut);
            WriteFile(path, full.substr(0, cut));
            const std::string message = OpenError(path);
            EXPECT_NE(message.find(path), std::string::npos) << message;
        }
        // Cut inside the last entry's data, or before it begins: an archive with the magic
        // still opens and only the entries cut off fail; without the magic nothing tells the
        // file from any other, so it is not taken for an archive.
        const size_t lastOffset = dirEnd + Deflate("1111").size() + 2;
        for (size_t cut : {lastOffset + 3, lastOffset - 1}) {
            WriteFile(path, full.substr(0, cut));
            if (!withMagic) {
                EXPECT_EQ(OpenError(path), path + ": not a ZOK archive");
                continue;
            }
            CZokFile zok(path);
            EXPECT_EQ(ExtractAt(zok, 0), "1111");
            EXPECT_EQ(ExtractAt(zok, 1), cut > lastOffset ? "22" : "<failed>");
            EXPECT_EQ(ExtractAt(zok, 2), "<failed>");
            EXPECT_EQ(zok.EntryProblem(2).code, ErrorCode::DataPastEnd);
        }
    }
}

TEST(ZokFile, RejectsHostileCountsLengthsAndOffsets) {
    TempDir dir;
    const std::string path = dir.File("hostile.zok");

    std::string countMax = "ZOK110";
    AppendU32(countMax, 0xFFFFFFFFu);
    countMax += std::string(100, '\0');
    WriteFile(path, countMax);
    EXPECT_EQ(OpenProblem(path).code, ErrorCode::DirectoryPastEnd);
    EXPECT_EQ(OpenProblem(path).number, 0xFFFFFFFFu);

    std::string oldCount;
    AppendU32(oldCount, 0xFFFFFFFFu);
    WriteFile(path, oldCount + std::string(64, 'x'));
    EXPECT_NE(OpenError(path).find(path), std::string::npos);

    // Enough bytes for the fixed part of each record, but a name that runs past the end.
    std::string longName = "ZOK110";
    AppendU32(longName, 1);
    AppendU32(longName, 0xFFFFFFF0u);
    longName += std::string(40, 'n');
    WriteFile(path, longName);
    EXPECT_EQ(OpenProblem(path).code, ErrorCode::NamePastEnd);
    EXPECT_EQ(OpenProblem(path).other, 0xFFFFFFF0u);

    // An entry far past the end: a cut archive when it has the magic, none without it.
    HandEntry outside = DeflatedEntry("far.txt", "far");
    outside.offset = 1u << 30;
    WriteFile(path, MakeArchive({outside}));
    EXPECT_EQ(CZokFile(path).EntryProblem(0).code, ErrorCode::DataPastEnd);
    WriteFile(path, MakeArchive({outside}, false));
    EXPECT_EQ(OpenError(path), path + ": not a ZOK archive");

    // Count zero with trailing bytes is a valid, empty archive when it has the magic; four
    // zero bytes followed by anything are not an archive at all.
    WriteFile(path, MakeArchive({}) + "trailing");
    EXPECT_EQ(OpenError(path), "");
    WriteFile(path, MakeArchive({}, false) + "trailing");
    EXPECT_EQ(OpenError(path), path + ": not a ZOK archive");
    WriteFile(path, MakeArchive({}, false));
    EXPECT_EQ(OpenError(path), "");
}

TEST(ZokFile, OpenFailureCarriesTheSystemsText) {
    TempDir dir;
    const std::string missing = dir.File("missing.zok");
    try {
        CZokFile zok(missing);
        FAIL() << "opened a missing file";
    } catch (const ZokOpenError& e) {
        EXPECT_STREQ(e.what(), ("Cannot create ZOK File instance for file " + missing).c_str());
        EXPECT_EQ(e.ErrorNumber(), ENOENT);
    }
    // A folder is not an archive.
    EXPECT_EQ(OpenError(dir.Path().string()),
              "Cannot create ZOK File instance for file " + dir.Path().string());
}

TEST(ZokFile, OpensArchivesWithoutWritePermission) {
    TempDir dir;
    const std::string path = dir.File("ro.zok");
    WriteFile(path, MakeArchive({DeflatedEntry("a.txt", "read only")}));
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
    // root may write anything, so the check runs as an unprivileged user in a child.
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
            ::_exit(2);
        }
        try {
            CZokFile zok(path);
            ::_exit(ExtractAt(zok, 0) == "read only" ? 0 : 3);
        } catch (...) {
            ::_exit(1);
        }
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(ZokFile, NamesAreDecodedFromCp949) {
    TempDir dir;
    const std::string path = dir.File("names.zok");
    // "한글.txt" in CP949, and a name whose bytes are not CP949 at all.
    const std::string korean = "\xC7\xD1\xB1\xDB.txt";
    const std::string broken = std::string("bad\xFF\xFE", 5) + ".txt";
    WriteFile(path, MakeArchive({DeflatedEntry(korean, "ko"), DeflatedEntry(broken, "raw")}));
    CZokFile zok(path);
    EXPECT_EQ(zok.Record(0).name, "한글.txt");
    EXPECT_EQ(Extract(zok, "한글.TXT"), "ko");
    EXPECT_EQ(zok.RawName(0), korean);
    // Invalid bytes stay visible, escaped, and the raw bytes are kept for rewriting.
    EXPECT_EQ(zok.Record(1).name, "bad\\xFF\\xFE.txt");
    EXPECT_EQ(Extract(zok, "bad\\xFF\\xFE.txt"), "raw");
    EXPECT_EQ(zok.RawName(1), broken);
}

}  // namespace

namespace {

std::vector<uint8_t> Bytes(const PixelBuffer& buffer, size_t size) {
    return std::vector<uint8_t>(buffer.get(), buffer.get() + size);
}

TEST(ZokFilePictures, BuilderPicturesComeBackAsPngStreamsAndBitmaps) {
    TempDir dir;
    const RgbaImage photo = PatternImage(5, 3, 11);
    const RgbaImage icon = PatternImage(4, 2, 12, /*withAlpha=*/true);
    const std::string bmpFile = MakeBmp24(photo);
    WriteFile(dir.File("Photo.BMP"), bmpFile);
    WriteFile(dir.File("icon.png"), MakePng(PngImageFromRgba(icon, true)));
    const std::string path = dir.File("p.zok");
    ASSERT_TRUE(BuildArchive({dir.File("Photo.BMP"), dir.File("icon.png")}, path, nullptr));

    CZokFile zok(path);
    const EntryRecord photoRecord = zok.Record(0);
    EXPECT_EQ(photoRecord.kind, EntryKind::PngStream);
    EXPECT_EQ(photoRecord.sourceSize, bmpFile.size());
    // The size is the PNG stream's, and extracting gives that stream.
    ASSERT_EQ(zok.GetEntrySize("photo.bmp"), photoRecord.storedSize);
    std::string stream(photoRecord.storedSize, '\0');
    ASSERT_TRUE(zok.ExtractEntry("photo.bmp", reinterpret_cast<uint8_t*>(stream.data())));
    EXPECT_EQ(stream, ReadFile(path).substr(photoRecord.offset, photoRecord.storedSize));
    EXPECT_EQ(PngChunkTypes(stream), (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));

    BITMAPINFOHEADER header;
    PixelBuffer alpha(new uint8_t[1]);
    PixelBuffer pixels = zok.DecodeEntryBitmap("PHOTO.bmp", &header, &alpha);
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(alpha, nullptr);  // an RGB picture has no alpha plane
    EXPECT_EQ(header.biWidth, 5);
    EXPECT_EQ(header.biHeight, 3);
    EXPECT_EQ(Bytes(pixels, header.biSizeImage), BottomUpBgr(photo));

    pixels = zok.DecodeEntryBitmap("icon.png", &header, &alpha);
    ASSERT_NE(pixels, nullptr);
    ASSERT_NE(alpha, nullptr);
    EXPECT_EQ(Bytes(pixels, 4 * 3 * 2), BottomUpBgr(icon, /*padded=*/false));
    EXPECT_EQ(Bytes(alpha, 4 * 2), TopDownAlpha(icon));

    BITMAPINFOHEADER info;
    ASSERT_TRUE(zok.ReadEntryBitmapInfo("icon.png", &info));
    EXPECT_EQ(info.biWidth, 4);
    EXPECT_EQ(info.biHeight, 2);
}

TEST(ZokFilePictures, StoredBmpFilesOfVersion100Decode) {
    TempDir dir;
    const RgbaImage image = PatternImage(3, 4, 21);
    BmpLayout zeroPad;
    zeroPad.gapByte = 0;  // the rows come back as stored, pad bytes included
    const std::string bmp = MakeBmp24(image, zeroPad);
    const std::string path = dir.File("old.zok");
    WriteFile(path, MakeArchive({HandEntry("a.bmp", bmp, 1)}, false));
    CZokFile zok(path);
    BITMAPINFOHEADER header;
    PixelBuffer alpha(new uint8_t[1]);
    PixelBuffer pixels = zok.DecodeEntryBitmap("A.BMP", &header, &alpha);
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(alpha, nullptr);
    EXPECT_EQ(Bytes(pixels, BottomUpBgr(image).size()), BottomUpBgr(image));
    ASSERT_TRUE(zok.ReadEntryBitmapInfo("a.bmp", &header));
    EXPECT_EQ(header.biBitCount, 24);
    EXPECT_EQ(header.biWidth, 3);
}

TEST(LoadPngFile, DecodesFilesAndRefusesOthers) {
    TempDir dir;
    const RgbaImage image = PatternImage(6, 5, 31, true);
    WriteFile(dir.File("a.png"), MakePng(PngImageFromRgba(image, true)));
    BITMAPINFOHEADER header;
    PixelBuffer alpha;
    PixelBuffer pixels = LoadPngFile(dir.File("a.png"), &header, &alpha);
    ASSERT_NE(pixels, nullptr);
    ASSERT_NE(alpha, nullptr);
    EXPECT_EQ(Bytes(pixels, 6 * 3 * 5), BottomUpBgr(image, false));
    EXPECT_EQ(Bytes(alpha, 6 * 5), TopDownAlpha(image));
    // Without an alpha pointer the rows are padded 24-bit ones.
    pixels = LoadPngFile(dir.File("a.png"), &header, nullptr);
    EXPECT_EQ(Bytes(pixels, header.biSizeImage), BottomUpBgr(image, true));

    alpha.reset(new uint8_t[1]);
    EXPECT_EQ(LoadPngFile(dir.File("missing.png"), &header, &alpha), nullptr);
    EXPECT_EQ(alpha, nullptr);
    WriteFile(dir.File("text.png"), "not a picture");
    EXPECT_THROW(LoadPngFile(dir.File("text.png"), &header, nullptr), ZokError);
    // Read-only access is enough.
    ASSERT_EQ(::chmod(dir.File("a.png").c_str(), 0444), 0);
    EXPECT_NE(LoadPngFile(dir.File("a.png"), &header, nullptr), nullptr);
}

}  // namespace
