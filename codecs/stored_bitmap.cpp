#include "codecs/stored_bitmap.h"

#include <new>

#include "io/file_handle.h"
#include "io/size_limits.h"
#include "zok/entry_record.h"

namespace zok {

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
    const int64_t stride = int64_t(BitmapRowBytes(uint64_t(info.biWidth), 24));
    // Compared before multiplying: width and height near 2^31 overflow even 64 bits.
    if (stride > kMaxZokFileSize / info.biHeight) {
        return nullptr;
    }
    const int64_t size = stride * info.biHeight;
    // The rows must all be there: compare with what is left of the entry before allocating.
    const off_t here = ftello(archive);
    const int64_t end = StreamLength(archive);
    if (here < 0 || end < 0 || end - here < size) {
        return nullptr;
    }
    PixelBuffer pixels(new (std::nothrow) uint8_t[size_t(size)]);
    if (!pixels || std::fread(pixels.get(), 1, size_t(size), archive) != size_t(size)) {
        return nullptr;
    }
    *header = info;
    // The stored field may say anything (0 is common); callers size their reads by it.
    header->biSizeImage = uint32_t(size);
    return pixels;
}

}  // namespace zok
