// Writes the benchmark corpus: make_corpus OUTDIR [BIG_MB]
//   OUTDIR/text  hundreds of small text and source files, and one of 1 MiB (manual.txt)
//   OUTDIR/bin   binaries of 100 KB to 3 MB
//   OUTDIR/pic   photographic and flat pictures of 1 to 3 megapixels, as BMP and as PNG
//   OUTDIR/big   one large log file (BIG_MB megabytes, 200 unless given)
// The same arguments always give the same bytes.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/corpus.h"

using namespace zokbench;

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: make_corpus OUTDIR [BIG_MB]\n");
        return 2;
    }
    const std::filesystem::path root = argv[1];
    const size_t bigMb = argc > 2 ? size_t(std::strtoul(argv[2], nullptr, 10)) : 200;
    for (const char* folder : {"text", "bin", "pic", "big"}) {
        std::filesystem::create_directories(root / folder);
    }
    auto file = [&](const char* folder, const std::string& name) {
        return (root / folder / name).string();
    };

    Random sizes(2024);
    for (int i = 0; i < 300; ++i) {
        WriteWholeFile(file("text", "notes" + std::to_string(i) + ".txt"),
                       MakeText(1024 + sizes.Below(30 * 1024), uint64_t(i)));
    }
    for (int i = 0; i < 200; ++i) {
        const char* ext = i % 3 == 0 ? ".h" : ".cpp";
        WriteWholeFile(file("text", "module" + std::to_string(i) + ext),
                       MakeSource(2048 + sizes.Below(40 * 1024), uint64_t(1000 + i)));
    }
    WriteWholeFile(file("text", "manual.txt"), MakeText(1 << 20, 900));
    for (int i = 0; i < 30; ++i) {
        const char* ext = i % 2 == 0 ? ".dll" : ".bin";
        WriteWholeFile(file("bin", "lib" + std::to_string(i) + ext),
                       MakeBinary(100 * 1024 + sizes.Below(2900 * 1024), uint64_t(2000 + i)));
    }
    const int dims[][2] = {{1152, 864}, {1280, 1024}, {1600, 1200}, {2000, 1500}};
    int n = 0;
    for (const auto& d : dims) {
        const Picture photo = MakePhoto(d[0], d[1], uint64_t(3000 + n));
        const Picture flat = MakeFlat(d[0], d[1], uint64_t(4000 + n));
        const std::string id = std::to_string(n);
        WriteWholeFile(file("pic", "photo" + id + ".bmp"), EncodeBmp(photo));
        WriteWholeFile(file("pic", "photo" + id + ".png"), EncodePng(photo));
        WriteWholeFile(file("pic", "flat" + id + ".bmp"), EncodeBmp(flat));
        WriteWholeFile(file("pic", "flat" + id + ".png"), EncodePng(flat));
        ++n;
    }
    if (bigMb > 0) {
        WriteWholeFile(file("big", "server.log"), MakeLog(bigMb << 20, 5000));
    }
    return 0;
}
