#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include "tests/support/image_writers.h"
#include "tests/support/test_support.h"
#include "zok/build_archive.h"
#include "zok/zok_error.h"

using namespace zok;

using namespace zoktest;

namespace {

BuildOptions Options(unsigned threads, uint64_t maxBytesAhead) {
    BuildOptions options;
    options.threads = threads;
    options.maxBytesAhead = maxBytesAhead;
    return options;
}

struct ProgressCall {
    int32_t files;
    uint32_t bytes;
    uint32_t archiveSize;
    std::thread::id thread;
};
std::vector<ProgressCall> g_calls;

void RecordProgress(int32_t files, uint32_t bytes, uint32_t archiveSize) {
    g_calls.push_back({files, bytes, archiveSize, std::this_thread::get_id()});
}

bool operator==(const ProgressCall& a, const ProgressCall& b) {
    return a.files == b.files && a.bytes == b.bytes && a.archiveSize == b.archiveSize;
}

// Text of several sizes (some past the pieces a worker hands over), noise, stored files,
// empty files, a name without extension, an undecodable picture and real pictures.
std::vector<std::string> MixedCorpus(const TempDir& dir) {
    std::vector<std::pair<std::string, std::string>> files = {
        {"readme.txt", TextBytes(3000)},
        {"empty.txt", ""},
        {"big.log", TextBytes(3 << 20)},
        {"noise.bin", RandomBytes(700 * 1024, 3)},
        {"save.old", RandomBytes(300 * 1024, 4)},
        {"empty.old", ""},
        {"README", TextBytes(10)},
        {"broken.bmp", "not a bitmap"},
        {"photo.bmp", MakeBmp24(PatternImage(301, 207, 2))},
        {"palette.bmp", MakeBmpIndexed(PatternIndexedImage(97, 61, 4, 3), 4)},
        {"icon.PNG", MakePng(PngImageFromRgba(PatternImage(64, 48, 4, true), true))},
        {"tiny.c", "int main(void) { return 0; }\n"},
        {"mixed.dat", TextBytes(200 * 1024) + RandomBytes(200 * 1024, 5)},
    };
    std::vector<std::string> paths;
    for (int copy = 0; copy < 3; ++copy) {
        std::filesystem::create_directories(dir.Path() / std::to_string(copy));
        for (const auto& [name, bytes] : files) {
            const std::string path = dir.File(std::to_string(copy) + "/" + name);
            WriteFile(path, bytes);
            paths.push_back(path);
        }
    }
    return paths;
}

TEST(ParallelBuild, SameArchiveProgressAndReportAsOneThread) {
    TempDir dir;
    const std::vector<std::string> paths = MixedCorpus(dir);

    g_calls.clear();
    BuildReport serialReport;
    ASSERT_TRUE(BuildArchive(paths, dir.File("serial.zok"), RecordProgress, &serialReport,
                             Options(1, 16u << 20)))
        << Problems(serialReport);
    const std::vector<ProgressCall> serialCalls = g_calls;
    const std::string serial = ReadFile(dir.File("serial.zok"));
    ASSERT_EQ(serialCalls.size(), paths.size());
    EXPECT_EQ(serialCalls.back().archiveSize, serial.size());
    // Only the three copies of broken.bmp cannot be encoded; every picture else can.
    ASSERT_EQ(serialReport.unencoded.size(), 3u);
    EXPECT_EQ(serialReport.unencoded[0], dir.File("0/broken.bmp"));

    // Several thread counts, and caps small enough that workers must wait for the writer.
    const std::vector<BuildOptions> variants = {Options(2, 16u << 20), Options(3, 4096),
                                                Options(8, 100 * 1024), Options(0, 1),
                                                Options(4, 64u << 20)};
    for (const BuildOptions& options : variants) {
        SCOPED_TRACE("threads " + std::to_string(options.threads) + " cap " +
                     std::to_string(options.maxBytesAhead));
        g_calls.clear();
        BuildReport report;
        ASSERT_TRUE(BuildArchive(paths, dir.File("parallel.zok"), RecordProgress, &report, options))
            << Problems(report);
        EXPECT_TRUE(ReadFile(dir.File("parallel.zok")) == serial) << "archives differ";
        EXPECT_EQ(report.unencoded, serialReport.unencoded);
        ASSERT_EQ(g_calls.size(), serialCalls.size());
        for (size_t i = 0; i < g_calls.size(); ++i) {
            EXPECT_TRUE(g_calls[i] == serialCalls[i]) << "progress call " << i;
            EXPECT_EQ(g_calls[i].thread, std::this_thread::get_id());
        }
    }
}

TEST(ParallelBuild, EncodedDataWaitingForTheWriterStaysUnderTheCap) {
    TempDir dir;
    std::vector<std::string> paths;
    for (int i = 0; i < 16; ++i) {
        paths.push_back(dir.File("part" + std::to_string(i) + ".old"));
        WriteFile(paths.back(), RandomBytes(512 * 1024, uint32_t(i)));
    }
    WriteFile(dir.File("large.txt"), RandomBytes(4 << 20, 99));
    paths.insert(paths.begin() + 3, dir.File("large.txt"));

    const uint64_t cap = 256 * 1024;
    BuildReport report;
    ASSERT_TRUE(BuildArchive(paths, dir.File("out.zok"), nullptr, &report, Options(4, cap)))
        << Problems(report);
    EXPECT_GT(report.peakBytesAhead, 0u);
    // The cap plus the piece of the entry being written, whatever the 12 MB of input.
    EXPECT_LE(report.peakBytesAhead, 2 * cap);

    BuildReport serialReport;
    ASSERT_TRUE(
        BuildArchive(paths, dir.File("serial.zok"), nullptr, &serialReport, Options(1, cap)));
    EXPECT_TRUE(ReadFile(dir.File("out.zok")) == ReadFile(dir.File("serial.zok")));
}

TEST(ParallelBuild, ThousandsOfSmallFilesInOrder) {
    // More inputs than the builder tracks ahead of the writer at once, so its bookkeeping for
    // finished entries is reused many times over; with room under the cap workers take them
    // many at a time, and a few large ones among them go alone.
    TempDir dir;
    std::vector<std::string> paths;
    for (int i = 0; i < 2500; ++i) {
        const std::string ext = i % 3 == 0 ? ".old" : ".txt";
        paths.push_back(dir.File("f" + std::to_string(i) + ext));
        WriteFile(paths.back(), i % 7 == 0     ? std::string()
                                : i % 500 == 1 ? TextBytes(300 * 1024)
                                               : TextBytes(size_t(i % 300) * 5));
    }
    g_calls.clear();
    ASSERT_TRUE(
        BuildArchive(paths, dir.File("serial.zok"), RecordProgress, nullptr, Options(1, 0)));
    const std::vector<ProgressCall> serialCalls = g_calls;
    const std::string serial = ReadFile(dir.File("serial.zok"));
    for (const BuildOptions& options : {Options(3, 8192), Options(2, 16u << 20)}) {
        SCOPED_TRACE("threads " + std::to_string(options.threads));
        g_calls.clear();
        ASSERT_TRUE(
            BuildArchive(paths, dir.File("parallel.zok"), RecordProgress, nullptr, options));
        EXPECT_TRUE(ReadFile(dir.File("parallel.zok")) == serial);
        EXPECT_TRUE(g_calls == serialCalls);
    }
}

TEST(ParallelBuild, UnreadableInputsFailAsOnOneThreadAndLeaveNothing) {
    TempDir dir;
    std::vector<std::string> paths = MixedCorpus(dir);
    const std::string target = dir.File("out.zok");
    WriteFile(target, "the archive that was there");

    const size_t badIndex = paths.size() / 2;
    for (const std::string& bad : {dir.File("missing.txt"), dir.File("0")}) {
        SCOPED_TRACE(bad);
        std::vector<std::string> withBad = paths;
        withBad.insert(withBad.begin() + long(badIndex), bad);
        // Every unreadable input is named, in input order, before anything is packed.
        withBad.push_back(dir.File("also-missing.txt"));

        BuildReport serialReport;
        EXPECT_FALSE(BuildArchive(withBad, target, nullptr, &serialReport, Options(1, 0)));
        for (unsigned threads : {2u, 5u}) {
            g_calls.clear();
            BuildReport report;
            EXPECT_FALSE(BuildArchive(withBad, target, RecordProgress, &report,
                                      Options(threads, 64 * 1024)));
            EXPECT_EQ(Problems(report), Problems(serialReport));
            EXPECT_EQ(Problems(report).rfind(bad + ": ", 0), 0u) << Problems(report);
            EXPECT_NE(Problems(report).find("\n" + dir.File("also-missing.txt") + ": "),
                      std::string::npos)
                << Problems(report);
            EXPECT_EQ(report.problems.size(), 2u);
            EXPECT_TRUE(g_calls.empty()) << "nothing packed";
            EXPECT_EQ(ReadFile(target), "the archive that was there");
            EXPECT_EQ(CountIn(dir.Path()), 4u) << "three folders and the old archive only";
        }
    }
}

void ThrowOnThird(int32_t files, uint32_t, uint32_t) {
    if (files == 3) {
        throw std::runtime_error("stopped by the caller");
    }
}

TEST(ParallelBuild, ExceptionsEndTheBuildWithNothingLeft) {
    TempDir dir;
    const std::vector<std::string> paths = MixedCorpus(dir);
    const std::string target = dir.File("out.zok");

    // An exception raised on the calling thread while workers are busy.
    try {
        BuildArchive(paths, target, ThrowOnThird, nullptr, Options(3, 4096));
        ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "stopped by the caller");
    }
    EXPECT_FALSE(FileExists(target));
    EXPECT_EQ(CountIn(dir.Path()), 3u);

    // A codec's exception raised on a worker reaches the caller in input order: of two inputs
    // that are not PNGs, the first is the one named.
    WriteFile(dir.File("fake.png"), "GIF89a, not a PNG at all");
    WriteFile(dir.File("later.png"), "not a PNG either");
    std::vector<std::string> withBad = paths;
    withBad.insert(withBad.begin() + 5, dir.File("fake.png"));
    withBad.push_back(dir.File("later.png"));
    for (unsigned threads : {1u, 2u, 4u}) {
        BuildReport report;
        try {
            BuildArchive(withBad, target, nullptr, &report, Options(threads, 4096));
            ADD_FAILURE() << "no exception with " << threads << " threads";
        } catch (const ZokError& e) {
            EXPECT_STREQ(e.what(), "Not a PNG");
        }
        EXPECT_EQ(report.currentInput, dir.File("fake.png"));
        EXPECT_FALSE(FileExists(target));
        EXPECT_EQ(CountIn(dir.Path()), 5u) << "three folders and the two fake pictures only";
    }
}

}  // namespace
