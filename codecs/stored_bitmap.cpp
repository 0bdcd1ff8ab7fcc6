#include "codecs/stored_bitmap.h"

#include <new>

#include "archive/entry_record.h"

bool ReadStoredBitmapInfo(FILE* archive, BITMAPINFOHEADER* header) {
    if (std::fseek(archive, kBitmapFileHeaderSize, SEEK_CUR) != 0) {
        return false;
    }
    uint8_t bytes[kBitmapInfoHeaderSize];
    if (std::fread(bytes, 1, sizeof bytes, archive) != sizeof bytes) {
        return false;
    }
    *header = ReadBitmapInfoHeader(bytes);
    return true;
}

PixelBuffer ReadStoredBitmap(FILE* archive, BITMAPINFOHEADER* header) {
    BITMAPINFOHEADER info;
    if (!ReadStoredBitmapInfo(archive, &info)) {
        return nullptr;
    }
    if (info.biBitCount != 24 || info.biWidth <= 0 || info.biHeight <= 0) {
        return nullptr;
    }
    const int64_t stride = ((int64_t(info.biWidth) * 24 + 31) / 32) * 4;
    const int64_t size = stride * info.biHeight;
    if (size > kMaxZokFileSize) {
        return nullptr;
    }
    // The rows must all be there: compare with what is left of the file before allocating.
    const long here = std::ftell(archive);
    if (here < 0 || std::fseek(archive, 0, SEEK_END) != 0) {
        return nullptr;
    }
    const long end = std::ftell(archive);
    if (end < 0 || end - here < size || std::fseek(archive, here, SEEK_SET) != 0) {
        return nullptr;
    }
    PixelBuffer pixels(new (std::nothrow) uint8_t[size_t(size)]);
    if (!pixels || std::fread(pixels.get(), 1, size_t(size), archive) != size_t(size)) {
        return nullptr;
    }
    *header = info;
    return pixels;
}
