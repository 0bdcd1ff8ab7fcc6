// The parallel build's hand-over between workers and the writer, driven directly.

#include "archive/encode_pipeline.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <thread>

#include "tests/support/test_support.h"

using namespace zok;

using namespace zoktest;

namespace {

TEST(EncodePipeline, EntriesBehindAnUnfinishedOneWaitOnDiskNotOnTheWorkers) {
    TempDir dir;
    const int probe = ::open(dir.Path().c_str(), O_TMPFILE | O_RDWR, 0600);
    if (probe < 0) {
        GTEST_SKIP() << "no unnamed files here";
    }
    ::close(probe);
    const size_t kEntries = 10;
    std::vector<std::string> paths;
    std::vector<std::optional<std::string>> names;
    for (size_t i = 0; i < kEntries; ++i) {
        paths.push_back(dir.File("f" + std::to_string(i)));
        names.emplace_back("f" + std::to_string(i));
        WriteFile(paths.back(), "x");
    }
    CheckedInputs inputs(paths, 0);
    std::vector<Error> problems;
    inputs.Check(dir.File("out.zok"), names, problems);
    ASSERT_TRUE(problems.empty());

    // Room for two pieces in memory; the worker hands over the entries behind the first before
    // the first, as a worker does that is quicker than the one on the first entry.
    const uint64_t cap = 8192;
    EncodePipeline pipeline(inputs, kEntries, 2, cap, dir.Path().string());
    const auto bytesOf = [](size_t entry) { return RandomBytes(4096, uint32_t(entry + 1)); };
    std::thread worker([&] {
        Handover handover;
        for (size_t i : {1, 2, 3, 4, 5, 6, 7, 8, 9, 0}) {
            Handover::Item& item = handover.ItemOf(i);
            const std::string bytes = bytesOf(i);
            item.pieces.push_back({0, std::vector<uint8_t>(bytes.begin(), bytes.end())});
            item.done = true;
            item.outcome.end = bytes.size();
            handover.bytes = bytes.size();
            ASSERT_TRUE(pipeline.Hand(handover));
        }
    });
    std::vector<Piece> pieces;
    for (size_t i = 0; i < kEntries; ++i) {
        SCOPED_TRACE(i);
        pipeline.SetHead(i);
        std::string entry;
        for (bool done = false; !done;) {
            done = pipeline.TakeReady(i, &pieces);
            for (const Piece& piece : pieces) {
                std::string bytes(piece.bytes.begin(), piece.bytes.end());
                if (piece.spilledAt >= 0) {
                    EXPECT_GT(i, 0u) << "only entries behind the first wait on disk";
                    bytes.resize(piece.spilledSize);
                    ASSERT_TRUE(pipeline.ReadSpilled(
                        piece, 0, reinterpret_cast<uint8_t*>(bytes.data()), bytes.size()));
                }
                entry += bytes;
            }
        }
        EXPECT_EQ(entry, bytesOf(i));
        EXPECT_EQ(pipeline.OutcomeOf(i).end, 4096u);
    }
    worker.join();
    EXPECT_LE(pipeline.Peak(), cap + 4096);
}

}  // namespace
