// Runs the README's example in a fresh folder and checks, through the installed library, the
// archive it built and what it printed. Usage: consumer_test WORK_DIR
#include <link.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "zok/build_archive.h"
#include "zok/zok_file.h"

using namespace zok;

namespace fs = std::filesystem;

namespace {

int g_failures = 0;

void Check(bool ok, const std::string& what) {
    if (!ok) {
        std::fprintf(stderr, "consumer_test: %s\n", what.c_str());
        ++g_failures;
    }
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

void PutLe(std::string& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(char((value >> (8 * i)) & 0xFF));
    }
}

constexpr int kWidth = 3;
constexpr int kHeight = 2;
constexpr int kStride = 12;  // 3 pixels of 3 bytes, padded to 4

// Blue, green and red of the pixel at column x of row y (y = 0 is the bottom row).
uint8_t Channel(int x, int y, int c) {
    return uint8_t(40 * x + 100 * y + 7 * c + 1);
}

// A 3 x 2 BMP file, 24 bits a pixel, rows bottom first.
std::string Bitmap() {
    std::string bmp = "BM";
    PutLe(bmp, 54 + kStride * kHeight, 4);
    PutLe(bmp, 0, 4);
    PutLe(bmp, 54, 4);
    for (uint32_t field : {40u, uint32_t(kWidth), uint32_t(kHeight)}) {
        PutLe(bmp, field, 4);
    }
    PutLe(bmp, 1, 2);
    PutLe(bmp, 24, 2);
    for (uint32_t field : {0u, uint32_t(kStride * kHeight), 2835u, 2835u, 0u, 0u}) {
        PutLe(bmp, field, 4);
    }
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            for (int c = 0; c < 3; ++c) {
                bmp.push_back(char(Channel(x, y, c)));
            }
        }
        bmp.append(kStride - 3 * kWidth, '\0');
    }
    return bmp;
}

// The shared libzok loaded into this process, or empty.
std::string LoadedLibrary() {
    std::string found;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            const std::string name = info->dlpi_name;
            if (name.find("/libzok.so") != std::string::npos) {
                *static_cast<std::string*>(data) = name;
            }
            return 0;
        },
        &found);
    return found;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: consumer_test WORK_DIR\n");
        return 2;
    }
    const fs::path work = fs::absolute(argv[1]);
    fs::remove_all(work);
    fs::create_directories(work);

    std::string notes = "Level 1: 바다\r\n";
    for (int i = 0; i < 256; ++i) {
        notes.push_back(char(i));
    }
    WriteFile(work / "notes.txt", notes);
    WriteFile(work / "logo.bmp", Bitmap());

    const std::string command = "cd '" + work.string() + "' && '" ZOK_EXAMPLE "' > printed.txt";
    const int status = std::system(command.c_str());
    Check(status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0,
          "the example failed: " + command);
    Check(ReadFile(work / "printed.txt") == notes + "logo.bmp: 3 x 2\n",
          "the example printed something else than the notes and the picture's size");

    try {
        CZokFile archive((work / "assets.zok").string());
        Check(archive.Version() == "110" && archive.Count() == 2,
              "not a version 1.1.0 archive of 2");
        Check(archive.Count() == 2 && archive.Record(0).name == "notes.txt" &&
                  archive.Record(1).name == "logo.bmp" &&
                  archive.Record(1).kind == EntryKind::PngStream,
              "the directory is not notes.txt, then logo.bmp as a PNG stream");

        std::vector<uint8_t> text(archive.GetEntrySize("NOTES.TXT"));
        Check(archive.ExtractEntry("notes.TXT", text.data()) &&
                  std::string(text.begin(), text.end()) == notes,
              "notes.txt does not come back byte for byte");

        BITMAPINFOHEADER header;
        PixelBuffer alpha;
        PixelBuffer pixels = archive.DecodeEntryBitmap("logo.bmp", &header, &alpha);
        Check(pixels && header.biWidth == kWidth && header.biHeight == kHeight &&
                  header.biBitCount == 24 && alpha == nullptr,
              "logo.bmp does not decode as an opaque 3 x 2 picture of 24 bits");
        for (int y = 0; pixels && y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                for (int c = 0; c < 3; ++c) {
                    Check(pixels[y * kStride + x * 3 + c] == Channel(x, y, c),
                          "logo.bmp pixel " + std::to_string(x) + "," + std::to_string(y) +
                              " differs");
                }
            }
        }
    } catch (const ZokError& e) {
        Check(false, std::string("the archive cannot be read: ") + e.what());
    }

    // The library under test, not another copy of it.
    const std::string loaded = LoadedLibrary();
    if (ZOK_LINKED_SHARED) {
        std::error_code error;
        const std::string prefix = fs::canonical(ZOK_EXPECTED_PREFIX, error).string() + "/";
        Check(!loaded.empty() && fs::canonical(loaded, error).string().rfind(prefix, 0) == 0,
              "libzok.so was loaded from '" + loaded + "', not from " ZOK_EXPECTED_PREFIX);
    } else {
        Check(loaded.empty(), "a static build loaded " + loaded);
    }
    return g_failures == 0 ? 0 : 1;
}
