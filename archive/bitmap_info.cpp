#include "zok/bitmap_info.h"

#include "io/little_endian.h"

namespace zok {

BITMAPINFOHEADER ReadBitmapInfoHeader(const uint8_t* b) {
    BITMAPINFOHEADER h;
    h.biSize = GetU32(b);
    h.biWidth = GetS32(b + 4);
    h.biHeight = GetS32(b + 8);
    h.biPlanes = GetU16(b + 12);
    h.biBitCount = GetU16(b + 14);
    h.biCompression = GetU32(b + 16);
    h.biSizeImage = GetU32(b + 20);
    h.biXPelsPerMeter = GetS32(b + 24);
    h.biYPelsPerMeter = GetS32(b + 28);
    h.biClrUsed = GetU32(b + 32);
    h.biClrImportant = GetU32(b + 36);
    return h;
}

void WriteBitmapInfoHeader(const BITMAPINFOHEADER& h, uint8_t* b) {
    PutU32(b, h.biSize);
    PutU32(b + 4, static_cast<uint32_t>(h.biWidth));
    PutU32(b + 8, static_cast<uint32_t>(h.biHeight));
    PutU16(b + 12, h.biPlanes);
    PutU16(b + 14, h.biBitCount);
    PutU32(b + 16, h.biCompression);
    PutU32(b + 20, h.biSizeImage);
    PutU32(b + 24, static_cast<uint32_t>(h.biXPelsPerMeter));
    PutU32(b + 28, static_cast<uint32_t>(h.biYPelsPerMeter));
    PutU32(b + 32, h.biClrUsed);
    PutU32(b + 36, h.biClrImportant);
}

}  // namespace zok
