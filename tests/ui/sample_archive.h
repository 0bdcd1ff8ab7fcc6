#pragma once

#include <string>
#include <vector>

#include "tests/support/image_writers.h"
#include "tests/support/test_support.h"
#include "zok/build_archive.h"

namespace zokuitest {

// The picture with alpha in the sample archive: 4 x 3 pixels, the first three of the top row
// chosen (half-transparent red, fully transparent blue, opaque green), the rest a pattern.
inline zoktest::RgbaImage SamplePicture() {
    zoktest::RgbaImage image = zoktest::PatternImage(4, 3, 7, true);
    const uint8_t chosen[3][4] = {{200, 40, 10, 128}, {0, 0, 255, 0}, {0, 160, 0, 255}};
    for (int x = 0; x < 3; ++x) {
        std::copy(chosen[x], chosen[x] + 4, image.At(x, 0));
    }
    return image;
}

// An archive built by the builder from one file of each kind, in this order: notes.txt
// (deflated text), logo.png (the picture with alpha), photo.bmp (a 24-bit BMP, stored as a
// PNG stream), data.old (9 bytes stored as they are), 한글.txt (Korean text).
inline std::string MakeSampleArchive(const zoktest::TempDir& dir,
                                     const std::string& name = "sample.zok") {
    const std::string inputs = (dir.Path() / "inputs").string();
    std::filesystem::create_directories(inputs);
    const std::vector<std::pair<std::string, std::string>> files = {
        {"notes.txt", zoktest::TextBytes(3000)},
        {"logo.png", zoktest::MakePng(zoktest::PngImageFromRgba(SamplePicture(), true))},
        {"photo.bmp", zoktest::MakeBmp24(zoktest::PatternImage(5, 4, 3))},
        {"data.old", zoktest::RandomBytes(9)},
        {"한글.txt", "첫째 줄\n둘째 줄\n셋째 줄\n"},
    };
    std::vector<std::string> paths;
    for (const auto& [file, bytes] : files) {
        paths.push_back(inputs + "/" + file);
        zoktest::WriteFile(paths.back(), bytes);
    }
    const std::string archive = dir.File(name);
    zok::BuildArchive(paths, archive, nullptr);
    return archive;
}

}  // namespace zokuitest
