#include "archive/bmp_writer.h"

#include <cstring>

#include "io/little_endian.h"
#include "zok/bitmap_info.h"

namespace zok {

std::optional<std::string> EncodeBmp24(int32_t width, int32_t height, const uint8_t* pixels,
                                       size_t rowBytes) {
    if (width <= 0 || height <= 0 || pixels == nullptr || rowBytes < size_t(width) * 3) {
        return std::nullopt;
    }
    const uint64_t stride = BitmapRowBytes(uint64_t(width), 24);
    const uint64_t imageSize = stride * uint64_t(height);
    const uint64_t fileSize = kBitmapFileHeaderSize + kBitmapInfoHeaderSize + imageSize;
    if (fileSize > 0x7FFFFFFF) {
        return std::nullopt;
    }
    std::string out(size_t(fileSize), '\0');
    auto* p = reinterpret_cast<uint8_t*>(out.data());
    p[0] = 'B';
    p[1] = 'M';
    PutU32(p + 2, uint32_t(fileSize));
    PutU32(p + 10, kBitmapFileHeaderSize + kBitmapInfoHeaderSize);
    BITMAPINFOHEADER info;
    info.biSize = kBitmapInfoHeaderSize;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biSizeImage = uint32_t(imageSize);
    WriteBitmapInfoHeader(info, p + kBitmapFileHeaderSize);
    uint8_t* rows = p + kBitmapFileHeaderSize + kBitmapInfoHeaderSize;
    for (int32_t y = 0; y < height; ++y) {
        std::memcpy(rows + size_t(y) * stride, pixels + size_t(y) * rowBytes, size_t(width) * 3);
    }
    return out;
}

std::optional<std::string> EncodePgm(int32_t width, int32_t height, const uint8_t* plane) {
    if (width <= 0 || height <= 0 || plane == nullptr) {
        return std::nullopt;
    }
    std::string out = "P5\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    out.append(reinterpret_cast<const char*>(plane), size_t(width) * size_t(height));
    return out;
}

}  // namespace zok
