#include <gtest/gtest.h>

#include <filesystem>

#include "fuzz/fuzz_bodies.h"
#include "tests/support/test_support.h"

using namespace zoktest;

namespace {

// Replays the fuzzers' seeds and every input a fuzzer once found through the same code, so
// that a fixed crash stays fixed (the sanitized suite catches overruns and leaks).
void Replay(const std::string& target, int (*body)(const uint8_t*, size_t)) {
    size_t replayed = 0;
    for (const char* kind : {"seeds", "regressions"}) {
        const std::filesystem::path folder = std::filesystem::path(ZOK_FUZZ_DIR) / kind / target;
        if (!std::filesystem::exists(folder)) {
            continue;
        }
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            if (!entry.is_regular_file()) {
                continue;
            }
            SCOPED_TRACE(entry.path().string());
            const std::string bytes = ReadFile(entry.path().string());
            body(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
            ++replayed;
        }
    }
    EXPECT_GT(replayed, 0u) << "no inputs for " << target;
}

TEST(FuzzReplay, Archive) {
    Replay("archive", zokfuzz::FuzzArchive);
}
TEST(FuzzReplay, Png) {
    Replay("png", zokfuzz::FuzzPng);
}
TEST(FuzzReplay, Bmp) {
    Replay("bmp", zokfuzz::FuzzBmp);
}
TEST(FuzzReplay, Upgrade) {
    Replay("upgrade", zokfuzz::FuzzUpgrade);
}

}  // namespace
