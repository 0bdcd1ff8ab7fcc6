// Every entry is read from exactly its own stored bytes and must give exactly its size. Each
// archive here is crafted so that the bytes right after a damaged entry would complete it: a
// reader that strays past the entry's end, or trusts a size it did not reach, passes them.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "io/size_limits.h"
#include "tests/archive/handmade_archive.h"
#include "tests/support/image_writers.h"
#include "tests/support/test_support.h"
#include "zok/zok_file.h"

using namespace zok;

using namespace zoktest;

namespace {

// The entry's content through the streaming reader, in small pieces; "<damaged: why>" when
// the reader does not finish exactly.
std::string Streamed(const CZokFile& zok, size_t index) {
    std::unique_ptr<EntryReader> reader = zok.OpenEntry(index);
    std::string out;
    char piece[7];
    for (size_t n; (n = reader->Read(piece, sizeof piece)) > 0;) {
        out.append(piece, n);
    }
    return reader->Complete()
               ? out
               : std::string("<damaged: ") + ErrorCodeName(reader->Problem().code) + ">";
}

bool Extracts(const CZokFile& zok, size_t index) {
    std::vector<uint8_t> buffer(zok.GetEntrySizeAt(index) + 1);
    return zok.ExtractEntryAt(index, buffer.data());
}

// Decodes a picture entry; "" for null, the exception's text when one is raised.
std::string Decoded(const CZokFile& zok, size_t index) {
    try {
        BITMAPINFOHEADER header;
        PixelBuffer alpha;
        return zok.DecodeEntryBitmapAt(index, &header, &alpha) ? "pixels" : "";
    } catch (const ZokError& e) {
        return e.what();
    }
}

// A second entry whose stored bytes begin with `tail`: stored unchanged, so it reads fine.
HandEntry Neighbour(const std::string& tail) {
    return HandEntry("next.old", tail + "rest of the neighbour", 3);
}

struct DamageCase {
    const char* what;
    std::vector<HandEntry> entries;
    const char* problem;  // part of the reader's error for entry 0
};

TEST(EntryBounds, DamagedEntriesNeverBorrowTheirNeighboursBytes) {
    const std::string text = TextBytes(3000);
    const std::string stream = Deflate(text);
    const std::string png = MakePng(PngImageFromRgba(PatternImage(40, 30, 7), false));
    const std::string bmp = MakeBmp24(PatternImage(9, 5, 8));
    const size_t cutPng = png.size() / 2;  // inside IDAT
    const size_t cutBmp = 54 + 40;         // inside the rows
    std::string badCheck = stream;
    badCheck.back() ^= 0x01;  // the Adler-32 of the content, at the stream's end
    // A stream stored by zlib (level 0) whose wrong check value lies alone past the first
    // 256 KiB that the inflater takes at a time.
    const std::string large = RandomBytes(262122, 8);
    uLongf farSize = compressBound(uLong(large.size()));
    std::string farCheck(farSize, '\0');
    ASSERT_EQ(compress2(reinterpret_cast<Bytef*>(farCheck.data()), &farSize,
                        reinterpret_cast<const Bytef*>(large.data()), uLong(large.size()), 0),
              Z_OK);
    farCheck.resize(farSize);
    ASSERT_EQ(farCheck.size(), 256u * 1024 + 4);
    farCheck.back() ^= 0x01;

    std::vector<DamageCase> cases;
    cases.push_back({"deflate stream continued in the next entry",
                     {HandEntry("a.txt", stream.substr(0, stream.size() - 5), 3, 3000),
                      Neighbour(stream.substr(stream.size() - 5))},
                     "data-cut-short"});
    cases.push_back({"deflate stream of fewer bytes than its size",
                     {HandEntry("a.txt", stream, 3, 3010), Neighbour("")},
                     "inflates-too-short"});
    cases.push_back({"deflate stream of more bytes than its size",
                     {HandEntry("a.txt", stream, 3, 2990), Neighbour("")},
                     "inflates-too-long"});
    cases.push_back({"deflate stream whose check value, read last, is wrong",
                     {HandEntry("a.txt", farCheck, 3, uint32_t(large.size())), Neighbour("")},
                     "data-corrupt"});
    cases.push_back({"deflate stream whose check value is wrong",
                     {HandEntry("a.txt", badCheck, 3, 3000), Neighbour("")},
                     "data-corrupt"});
    cases.push_back(
        {"corrupt deflate stream",
         {HandEntry("a.txt", std::string(stream).replace(20, 4, "\xFF\xFF\xFF\xFF"), 3, 3000),
          Neighbour("")},
         "data-corrupt"});
    for (DamageCase& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        WriteFile(dir.File("a.zok"), MakeArchive(c.entries));
        const CZokFile zok(dir.File("a.zok"));
        EXPECT_NE(Streamed(zok, 0).find(c.problem), std::string::npos) << Streamed(zok, 0);
        EXPECT_FALSE(Extracts(zok, 0));
        EXPECT_EQ(Streamed(zok, 1), c.entries[1].data);
    }

    // Pictures cut short whose rest is the next entry's first bytes: inside the PNG's data, inside
    // the bitmap's rows, inside the bitmap's file header (which its reader skips).
    TempDir dir;
    WriteFile(
        dir.File("p.zok"),
        MakeArchive({HandEntry("cut.png", png.substr(0, cutPng), 2), Neighbour(png.substr(cutPng)),
                     HandEntry("cut.bmp", bmp.substr(0, cutBmp), 1, uint32_t(cutBmp)),
                     Neighbour(bmp.substr(cutBmp)), HandEntry("head.bmp", bmp.substr(0, 10), 1),
                     Neighbour(bmp.substr(10))}));
    const CZokFile zok(dir.File("p.zok"));
    EXPECT_EQ(Decoded(zok, 0), "error");
    EXPECT_EQ(Decoded(zok, 2), "");
    EXPECT_EQ(Decoded(zok, 4), "");
    BITMAPINFOHEADER info;
    EXPECT_FALSE(zok.ReadEntryBitmapInfoAt(4, &info));
}

// An archive cut short by another program while it is open: its entries fail as unreadable
// where the bytes stop, whichever way they are read, and nothing waits for bytes that never come.
TEST(EntryBounds, AnArchiveCutShortWhileOpenFailsItsEntriesWithoutWaiting) {
    TempDir dir;
    const std::string path = dir.File("a.zok");
    const std::string text = TextBytes(5000), old = RandomBytes(3000, 2);
    WriteFile(path, MakeArchive({DeflatedEntry("a.txt", text), HandEntry("b.old", old)}));
    const CZokFile zok(path);
    ASSERT_EQ(Streamed(zok, 1), old);
    ::truncate(path.c_str(), off_t(zok.Record(0).offset + 10));
    for (size_t i : {0, 1}) {
        SCOPED_TRACE(zok.Record(i).name);
        EXPECT_EQ(Streamed(zok, i), "<damaged: cannot-read>");
        EXPECT_FALSE(Extracts(zok, i));
    }
    // The system's reason: the bytes are gone (an input/output error), not some earlier errno.
    std::unique_ptr<EntryReader> reader = zok.OpenEntry(1);
    char piece[64];
    while (reader->Read(piece, sizeof piece) > 0) {
    }
    EXPECT_EQ(reader->Problem().errorNumber, EIO);
}

// A file that holds fewer bytes than its size says, as the kernel's own files do, is refused
// as unreadable for an input/output error, not for whatever errno an earlier call left.
TEST(EntryBounds, AFileShorterThanItsSizeSaysIsAnInputOutputError) {
    const std::string path = "/sys/devices/system/cpu/online";
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
        uint64_t(st.st_size) <= ReadFile(path).size() || ReadFile(path).size() >= 10) {
        GTEST_SKIP() << path << " is not a short file whose size says more";
    }
    errno = 0;
    try {
        CZokFile zok(path);
        FAIL() << "opened " << path;
    } catch (const ZokError& e) {
        EXPECT_EQ(e.Problem().code, ErrorCode::CannotRead);
        EXPECT_EQ(e.Problem().errorNumber, EIO);
    }
}

// A file larger than any archive can be is refused by its size, before a byte of it is read.
TEST(EntryBounds, AFileLargerThanAnyArchiveIsRefusedUnread) {
    TempDir dir;
    const std::string path = dir.File("big.zok");
    WriteFile(path, MakeArchive({}));
    ASSERT_EQ(::truncate(path.c_str(), off_t(kMaxZokFileSize) + 1), 0);  // sparse: no disk used
    try {
        CZokFile zok(path);
        FAIL() << "opened a file larger than any archive";
    } catch (const ZokError& e) {
        EXPECT_EQ(e.Problem().code, ErrorCode::ArchiveTooLarge);
    }
}

// A directory whose last record has no room for its fixed part names that record, apart from
// one whose name runs past the end; without the magic such a file is no archive at all.
TEST(EntryBounds, ARecordCutShortIsNamedByItsNumber) {
    TempDir dir;
    for (const bool withMagic : {true, false}) {
        std::string bytes = withMagic ? "ZOK110" : "";
        AppendU32(bytes, 2);
        AppendU32(bytes, 17);
        bytes += std::string(17, 'n') + std::string(13, '\0') + "xx";  // record 2 has 2 bytes
        WriteFile(dir.File("r.zok"), bytes);
        try {
            CZokFile zok(dir.File("r.zok"));
            ADD_FAILURE() << "opened an archive whose second record is cut short";
        } catch (const ZokError& e) {
            EXPECT_EQ(e.Problem().code,
                      withMagic ? ErrorCode::RecordPastEnd : ErrorCode::NotAnArchive);
            EXPECT_EQ(e.Problem().number, withMagic ? 2u : 0u);
        }
    }
}

// Records need not follow the order of their data: an archive that lists its entries back to
// front opens, and each entry reads its own bytes.
TEST(EntryBounds, RecordsInAnyOrderOfTheirDataOpen) {
    TempDir dir;
    const std::string a = Deflate("first"), b = Deflate("second"), c = Deflate("third");
    const uint32_t dataStart = 10 + 3 * (17 + 5);
    // All the data travels with the first record; each record points at its own stream.
    WriteFile(dir.File("r.zok"),
              MakeArchive(
                  {HandEntry("a.txt", c + b + a, 3, 5, uint32_t(a.size()),
                             dataStart + uint32_t(c.size() + b.size())),
                   HandEntry("b.txt", "", 3, 6, uint32_t(b.size()), dataStart + uint32_t(c.size())),
                   HandEntry("c.txt", "", 3, 5, uint32_t(c.size()), dataStart)}));
    const CZokFile zok(dir.File("r.zok"));
    EXPECT_EQ(Streamed(zok, 0), "first");
    EXPECT_EQ(Streamed(zok, 1), "second");
    EXPECT_EQ(Streamed(zok, 2), "third");
}

TEST(EntryBounds, AnEntryLeftEmptyHoldsNoPicture) {
    // The builder leaves a picture it could not encode at the next entry's offset with no
    // bytes: the next picture must not be handed out under its name.
    TempDir dir;
    const std::string png = MakePng(PngImageFromRgba(PatternImage(4, 4, 9), false));
    const uint32_t dataStart = 10 + 2 * 17 + 8 + 8;
    WriteFile(dir.File("e.zok"), MakeArchive({HandEntry("lost.png", "", 2, 5000, 0, dataStart),
                                              HandEntry("good.png", png, 2)}));
    CZokFile zok(dir.File("e.zok"));
    EXPECT_TRUE(zok.HoldsNoData(0));
    EXPECT_EQ(zok.EntryProblem(0).code, ErrorCode::HoldsNoData);
    BITMAPINFOHEADER header;
    PixelBuffer alpha(new uint8_t[1]);
    EXPECT_EQ(zok.DecodeEntryBitmap("lost.png", &header, &alpha), nullptr);
    EXPECT_EQ(alpha, nullptr);
    EXPECT_FALSE(zok.ReadEntryBitmapInfo("lost.png", &header));
    uint8_t byte = 0;
    EXPECT_FALSE(zok.ExtractEntry("lost.png", &byte));
    EXPECT_EQ(Decoded(zok, 1), "pixels");
}

TEST(EntryBounds, OverlappingEntriesAreRefusedBeforeAnythingIsRead) {
    // Many records pointing at one stream would make a reader write far more than the file
    // holds; entries reaching into the directory are refused alike.
    TempDir dir;
    const std::string stream = Deflate(std::string(100000, 'z'));
    std::vector<HandEntry> copies;
    const uint32_t dataStart = 10 + 50 * (17 + 5);
    for (int i = 0; i < 50; ++i) {
        copies.push_back(HandEntry("c" + std::to_string(10 + i) + ".z", i == 0 ? stream : "", 3,
                                   100000, uint32_t(stream.size()), dataStart));
    }
    WriteFile(dir.File("o.zok"), MakeArchive(copies));
    try {
        CZokFile zok(dir.File("o.zok"));
        FAIL() << "opened an archive whose entries overlap";
    } catch (const ZokError& e) {
        EXPECT_EQ(e.Problem().code, ErrorCode::DataOverlap);
        EXPECT_EQ(e.Problem().number, 1u);
        EXPECT_EQ(e.Problem().other, 2u);
    }
    // Data inside the directory: a damaged archive with the magic, none at all without it.
    for (const bool withMagic : {true, false}) {
        WriteFile(dir.File("d.zok"),
                  MakeArchive({HandEntry("in.old", "abc", 3, 3, 3, 5), HandEntry("b.old", "xyz")},
                              withMagic));
        try {
            CZokFile zok(dir.File("d.zok"));
            ADD_FAILURE() << "opened an archive whose data lies in its directory";
        } catch (const ZokError& e) {
            EXPECT_EQ(e.Problem().code,
                      withMagic ? ErrorCode::DataOverlapsDirectory : ErrorCode::NotAnArchive);
        }
    }
    // Empty entries may share an offset: the builder gives one to each entry it left empty.
    WriteFile(dir.File("s.zok"), MakeArchive({HandEntry("a.png", "", 2, 9, 0, 10 + 2 * 22),
                                              HandEntry("b.png", "", 2, 9, 0, 10 + 2 * 22)}));
    EXPECT_EQ(CZokFile(dir.File("s.zok")).Count(), 2u);
}

}  // namespace
