// Reads every entry of an archive through the C++ API and prints the time of its fastest pass,
// for bench/python_compare.sh, which runs bench/python_read.py on the same archive beside it.
//   read_entries ARCHIVE whole|stream|picture [PASSES]
// whole: each entry into a buffer of its size (ExtractEntryAt); stream: each entry through
// OpenEntry in 1 MiB pieces; picture: each picture entry decoded (DecodePictureAt).

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "zok/zok_file.h"

namespace {

// One pass over every entry; returns the bytes it produced, or -1 when an entry fails.
int64_t Pass(const zok::CZokFile& archive, const std::string& mode) {
    int64_t total = 0;
    std::vector<uint8_t> piece(1 << 20);
    for (size_t i = 0; i < archive.Count(); ++i) {
        if (mode == "whole") {
            const uint32_t size = archive.GetEntrySizeAt(i);
            const std::unique_ptr<uint8_t[]> buffer(new uint8_t[std::max<uint32_t>(size, 1)]);
            if (!archive.ExtractEntryAt(i, buffer.get(), size)) {
                return -1;
            }
            total += size;
        } else if (mode == "stream") {
            const std::unique_ptr<zok::EntryReader> reader = archive.OpenEntry(i);
            while (const size_t got = reader->Read(piece.data(), piece.size())) {
                total += int64_t(got);
            }
            if (!reader->Complete()) {
                return -1;
            }
        } else if (archive.Describe(i).picture) {
            zok::Picture picture;
            if (archive.DecodePictureAt(i, &picture)) {
                return -1;
            }
            total += int64_t(picture.pixels.size());
        }
    }
    return total;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: read_entries ARCHIVE whole|stream|picture [PASSES]\n");
        return 2;
    }
    const std::string mode = argv[2];
    const int passes = argc > 3 ? std::atoi(argv[3]) : 5;
    const zok::CZokFile archive(argv[1]);
    std::vector<double> seconds;
    int64_t bytes = 0;
    for (int pass = 0; pass < passes; ++pass) {
        const auto start = std::chrono::steady_clock::now();
        bytes = Pass(archive, mode);
        seconds.push_back(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        if (bytes < 0) {
            std::fprintf(stderr, "read_entries: an entry failed\n");
            return 1;
        }
    }
    std::printf("%.4f %lld\n", *std::min_element(seconds.begin(), seconds.end()),
                static_cast<long long>(bytes));
    return 0;
}
