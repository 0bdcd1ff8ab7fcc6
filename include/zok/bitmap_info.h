#pragma once

#include <cstdint>
#include <memory>

#include "zok/export.h"

namespace zok {

// The 40-byte bitmap information header of the bitmap form, in host order in memory.
// On disk it is little-endian; see ReadBitmapInfoHeader and WriteBitmapInfoHeader.
struct BITMAPINFOHEADER {
    uint32_t biSize = 0;
    int32_t biWidth = 0;
    int32_t biHeight = 0;
    uint16_t biPlanes = 0;
    uint16_t biBitCount = 0;
    uint32_t biCompression = 0;
    uint32_t biSizeImage = 0;
    int32_t biXPelsPerMeter = 0;
    int32_t biYPelsPerMeter = 0;
    uint32_t biClrUsed = 0;
    uint32_t biClrImportant = 0;
};

constexpr uint32_t kBitmapInfoHeaderSize = 40;
constexpr uint32_t kBitmapFileHeaderSize = 14;

// Decodes 40 little-endian bytes into a header.
ZOK_API BITMAPINFOHEADER ReadBitmapInfoHeader(const uint8_t* bytes);
// Encodes a header as 40 little-endian bytes.
ZOK_API void WriteBitmapInfoHeader(const BITMAPINFOHEADER& header, uint8_t* bytes);

// Bytes in one row of a bitmap of width pixels at bitsPerPixel, padded to 4 bytes as BMP rows
// are: ((width x bits + 31) / 32) x 4. A 24-bit row of 5 pixels takes 16 bytes.
constexpr uint64_t BitmapRowBytes(uint64_t width, uint64_t bitsPerPixel) {
    return (width * bitsPerPixel + 31) / 32 * 4;
}

// Heap buffers of the bitmap form (pixels, alpha plane); the caller owns them.
using PixelBuffer = std::unique_ptr<uint8_t[]>;

}  // namespace zok
