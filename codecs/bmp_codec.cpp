#include "codecs/bmp_codec.h"

#include <array>
#include <new>

#include "codecs/png_stream.h"
#include "codecs/stored_bitmap.h"
#include "io/file_handle.h"
#include "io/little_endian.h"
#include "io/size_limits.h"
#include "zok/entry_record.h"

namespace zok {

namespace {

constexpr uint16_t kBmpMagic = 0x4D42;  // "BM"
constexpr size_t kHeadersSize = kBitmapFileHeaderSize + kBitmapInfoHeaderSize;
constexpr size_t kMaxPaletteEntries = 256;

// Expands one file row of 1-, 4- or 8-bit indices into red, green, blue pixels. An index
// past the palette takes black.
void ExpandRow(const uint8_t* line, int bitCount, uint64_t width, const uint8_t* colours,
               size_t entries, uint8_t* out) {
    for (uint64_t x = 0; x < width; ++x) {
        size_t index = 0;
        switch (bitCount) {
            case 8:
                index = line[x];
                break;
            case 4:
                index = (x % 2 == 0) ? line[x / 2] >> 4 : line[x / 2] & 0x0F;
                break;
            default:
                index = (line[x / 8] >> (7 - x % 8)) & 1;
                break;
        }
        uint8_t* pixel = out + x * 3;
        if (index < entries) {
            pixel[0] = colours[index * 3];
            pixel[1] = colours[index * 3 + 1];
            pixel[2] = colours[index * 3 + 2];
        } else {
            pixel[0] = pixel[1] = pixel[2] = 0;
        }
    }
}

}  // namespace

bool ReadBmpPixels(FILE* input, BmpPixels* out) {
    const off_t fileStart = ftello(input);
    if (fileStart < 0) {
        return false;
    }
    uint8_t headers[kHeadersSize];
    if (std::fread(headers, 1, kHeadersSize, input) != kHeadersSize ||
        GetU16(headers) != kBmpMagic) {
        return false;
    }
    const uint64_t offBits = GetU32(headers + 10);
    const BITMAPINFOHEADER info = ReadBitmapInfoHeader(headers + kBitmapFileHeaderSize);
    // Core headers (12 bytes) lay their fields out differently; only 40 and longer are read.
    if (info.biSize < kBitmapInfoHeaderSize || info.biCompression != 0) {
        return false;
    }
    const int bitCount = info.biBitCount;
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24) {
        return false;
    }
    if (info.biWidth <= 0 || info.biHeight == 0) {
        return false;
    }
    const bool topDown = info.biHeight < 0;
    const uint64_t width = uint64_t(info.biWidth);
    const uint64_t height = topDown ? uint64_t(-int64_t(info.biHeight)) : uint64_t(info.biHeight);

    // The palette follows the whole info header, however long; the pixels start at bfOffBits.
    const uint64_t paletteStart = kBitmapFileHeaderSize + uint64_t(info.biSize);
    if (offBits < paletteStart) {
        return false;
    }
    const uint64_t entries = bitCount == 24 ? 0 : (offBits - paletteStart) / 4;
    if (bitCount != 24 && entries == 0) {
        return false;
    }
    const uint64_t lineBytes = BitmapRowBytes(width, uint64_t(bitCount));
    const uint64_t stride = BitmapRowBytes(width, 24);
    if (stride * height > uint64_t(kMaxZokFileSize)) {
        return false;
    }
    // Every pixel row must be in the file before the picture buffer is allocated.
    const int64_t fileSize = StreamLength(input);
    if (fileSize >= 0 && uint64_t(fileSize) < uint64_t(fileStart) + offBits + lineBytes * height) {
        return false;
    }

    // Colour table in red, green, blue order; indices can reach only the first 256 entries.
    std::array<uint8_t, kMaxPaletteEntries * 3> colours{};
    const size_t usedEntries = entries < kMaxPaletteEntries ? size_t(entries) : kMaxPaletteEntries;
    if (usedEntries > 0) {
        std::array<uint8_t, kMaxPaletteEntries * 4> quads{};
        if (fseeko(input, fileStart + off_t(paletteStart), SEEK_SET) != 0 ||
            std::fread(quads.data(), 4, usedEntries, input) != usedEntries) {
            return false;
        }
        for (size_t i = 0; i < usedEntries; ++i) {
            colours[i * 3] = quads[i * 4 + 2];
            colours[i * 3 + 1] = quads[i * 4 + 1];
            colours[i * 3 + 2] = quads[i * 4];
        }
    }
    if (fseeko(input, fileStart + off_t(offBits), SEEK_SET) != 0) {
        return false;
    }

    out->width = uint32_t(width);
    out->height = uint32_t(height);
    out->bgr = bitCount == 24;
    out->rows.reset(new (std::nothrow) uint8_t*[height]);
    out->pixels.reset(new (std::nothrow) uint8_t[stride * height]);
    if (!out->rows || !out->pixels) {
        throw std::bad_alloc();  // no fault of the picture: never stored as unencoded
    }
    // Buffer row k holds file row k; rows[] puts them in picture order, top first.
    for (uint64_t k = 0; k < height; ++k) {
        out->rows[topDown ? k : height - 1 - k] = out->pixels.get() + k * stride;
    }
    if (bitCount == 24) {
        return std::fread(out->pixels.get(), 1, stride * height, input) == stride * height;
    }
    std::unique_ptr<uint8_t[]> line(new (std::nothrow) uint8_t[lineBytes]);
    if (!line) {
        throw std::bad_alloc();
    }
    for (uint64_t k = 0; k < height; ++k) {
        if (std::fread(line.get(), 1, lineBytes, input) != lineBytes) {
            return false;
        }
        ExpandRow(line.get(), bitCount, width, colours.data(), usedEntries,
                  out->pixels.get() + k * stride);
    }
    return true;
}

int32_t CBmpCodec::Encode(FILE* input, FILE* archive) {
    const off_t start = ftello(archive);
    BmpPixels bmp;
    if (start < 0 || !ReadBmpPixels(input, &bmp)) {
        return 0;
    }
    if (WritePngStream(archive, bmp.width, bmp.height, false, bmp.bgr, bmp.rows.get()) !=
        PngWriteStatus::Written) {
        return 0;
    }
    const off_t end = ftello(archive);
    if (end < start || end - start > kMaxZokFileSize) {
        return 0;
    }
    return static_cast<int32_t>(end - start);
}

PixelBuffer CBmpCodec::DecodeBitmap(FILE* archive, BITMAPINFOHEADER* header, PixelBuffer*) {
    return ReadStoredBitmap(archive, header);
}

bool CBmpCodec::ReadBitmapInfo(FILE* archive, BITMAPINFOHEADER* header) {
    return ReadStoredBitmapInfo(archive, header);
}

}  // namespace zok
