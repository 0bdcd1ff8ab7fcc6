#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zok {

// A picture entry decoded for game code (CZokFile::DecodePicture): one buffer, the top row
// first, no padding between rows. channels is 4 (red, green, blue, alpha) when the picture has
// an alpha plane or a transparent colour, else 3 (red, green, blue); 8 bits a sample.
struct Picture {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t channels = 0;
    size_t stride = 0;  // bytes from one row to the next: width x channels
    std::vector<uint8_t> pixels;
};

// A picture's size, as CZokFile::ReadPictureRows tells it before the first row.
struct PictureInfo {
    uint32_t width = 0;
    uint32_t height = 0;
    bool hasAlpha = false;  // rows hold 4 bytes a pixel (alpha last), else 3
};

// The order of the colour bytes of a pixel in rows that CZokFile::ReadPictureRows gives.
enum class PixelOrder : uint8_t { Rgb, Bgr };

// Pictures with more pixels than this are refused by default (CZokFile::SetPictureLimit):
// 2^28, a 16384 x 16384 picture.
inline constexpr uint64_t kDefaultPictureLimit = uint64_t(1) << 28;

}  // namespace zok
