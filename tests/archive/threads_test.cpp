// The library's promises about threads, in the shape the ThreadSanitizer build checks: one
// archive object read from several threads at once, and a parallel build stopped from a
// thread other than the one that runs it.

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>
#include <vector>

#include "tests/support/image_writers.h"
#include "tests/support/test_support.h"
#include "zok/build_archive.h"
#include "zok/zok_file.h"

using namespace zok;

using namespace zoktest;

namespace {

// An entry's content by every road the archive object offers, as one string.
std::string EveryRead(const CZokFile& zok, size_t index) {
    std::string whole(zok.GetEntrySizeAt(index), '\0');
    std::string out =
        zok.ExtractEntryAt(index, reinterpret_cast<uint8_t*>(whole.data())) ? whole : "<failed>";
    std::unique_ptr<EntryReader> reader = zok.OpenEntry(index);
    std::string streamed;
    char piece[4096];
    for (size_t n; (n = reader->Read(piece, sizeof piece)) > 0;) {
        streamed.append(piece, n);
    }
    out += reader->Complete() ? streamed : "<damaged>";
    BITMAPINFOHEADER header{};
    PixelBuffer alpha;
    if (PixelBuffer pixels = zok.DecodeEntryBitmapAt(index, &header, &alpha)) {
        out.append(reinterpret_cast<const char*>(pixels.get()), header.biSizeImage);
    }
    return out;
}

TEST(Threads, ManyReadersOnOneArchiveEachGetWhatOneReaderGets) {
    TempDir dir;
    const std::vector<std::pair<std::string, std::string>> files = {
        {"a.txt", TextBytes(300 * 1024)},
        {"b.old", RandomBytes(100 * 1024, 2)},
        {"c.bmp", MakeBmp24(PatternImage(120, 80, 3))},
        {"d.png", MakePng(PngImageFromRgba(PatternImage(90, 70, 4, true), true))},
        {"e.txt", TextBytes(10)},
    };
    std::vector<std::string> paths;
    for (const auto& [name, bytes] : files) {
        paths.push_back(dir.File(name));
        WriteFile(paths.back(), bytes);
    }
    BuildReport report;
    ASSERT_TRUE(BuildArchive(paths, dir.File("shared.zok"), nullptr, &report)) << Problems(report);

    const CZokFile zok(dir.File("shared.zok"));
    std::vector<std::string> expected;
    for (size_t i = 0; i < zok.Count(); ++i) {
        expected.push_back(EveryRead(zok, i));
    }
    constexpr int kThreads = 6;
    std::vector<std::vector<std::string>> seen(kThreads);
    std::vector<std::thread> readers;
    for (int t = 0; t < kThreads; ++t) {
        readers.emplace_back([&zok, &seen, t] {
            // Each thread starts at another entry, so that different entries are read at once.
            for (size_t k = 0; k < 3 * zok.Count(); ++k) {
                seen[t].push_back(EveryRead(zok, (k + size_t(t)) % zok.Count()));
            }
        });
    }
    for (std::thread& reader : readers) {
        reader.join();
    }
    for (int t = 0; t < kThreads; ++t) {
        for (size_t k = 0; k < seen[t].size(); ++k) {
            EXPECT_TRUE(seen[t][k] == expected[(k + size_t(t)) % zok.Count()])
                << "thread " << t << ", read " << k;
        }
    }
}

TEST(Threads, CancelFromAnotherThreadStopsAParallelBuildAndLeavesNothing) {
    TempDir dir;
    std::vector<std::string> paths;
    for (int i = 0; i < 24; ++i) {
        paths.push_back(dir.File("part" + std::to_string(i) + ".txt"));
        WriteFile(paths.back(), TextBytes(1u << 20) + std::to_string(i));
    }
    std::atomic<bool> cancel{false};
    std::atomic<int> progressCalls{0};
    BuildOptions options;
    options.threads = 3;
    options.cancel = &cancel;
    options.progress = [&progressCalls](const BuildProgress&) { ++progressCalls; };
    BuildReport report;
    bool built = true;
    std::thread builder(
        [&] { built = BuildArchive(paths, dir.File("stopped.zok"), nullptr, &report, options); });
    // Stop it once it is under way, from this thread.
    while (progressCalls.load() == 0) {
        std::this_thread::yield();
    }
    cancel = true;
    builder.join();

    EXPECT_FALSE(built);
    ASSERT_EQ(report.problems.size(), 1u) << Problems(report);
    EXPECT_EQ(report.problems[0].code, ErrorCode::Cancelled) << Problems(report);
    EXPECT_FALSE(FileExists(dir.File("stopped.zok")));
    EXPECT_EQ(CountIn(dir.Path()), paths.size()) << "the build left a file beside its inputs";
}

}  // namespace
