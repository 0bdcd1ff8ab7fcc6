#include "codecs/png_codec.h"

#include <csetjmp>
#include <cstring>
#include <new>

#include "codecs/png_read.h"
#include "codecs/png_stream.h"
#include "io/file_handle.h"
#include "io/size_limits.h"
#include "zok/entry_record.h"
#include "zok/zok_error.h"

namespace zok {

namespace {

// Decodes the image data into the given rows and reads the chunks after it.
bool ReadRowsWithJump(png_structp png, png_infop endInfo, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png)) != 0) {
        return false;
    }
    png_read_image(png, rows);
    png_read_end(png, endInfo);
    return true;
}

// The decoded picture: height rows of stride bytes, 24- or 32-bit.
struct DecodedPng {
    PngLayout layout{};
    uint64_t stride = 0;
    PixelBuffer pixels;
    std::unique_ptr<png_bytep[]> rows;  // rows[0] is the picture's top row
};

// Decodes any PNG. Rows are laid out bottom-up in the buffer when bottomUp, else top-down.
// Returns false when memory for the buffers cannot be had; raises ZokError otherwise.
bool DecodePng(FILE* stream, bool keepAlpha, bool bgr, bool bottomUp, DecodedPng* out) {
    ReadStructs structs;
    StartRead(stream, &structs);
    PngLayout& layout = out->layout;
    if (!ReadHeaderWithJump(structs.png, structs.info, stream, keepAlpha, bgr, &layout)) {
        throw ZokError("error");
    }
    const uint64_t height = layout.height;
    out->stride = BitmapRowBytes(layout.width, layout.alpha ? 32 : 24);
    if (out->stride * height > uint64_t(kMaxZokFileSize) || layout.rowBytes > out->stride ||
        !DataCanFill(stream, layout)) {
        throw ZokError("error");
    }
    out->rows.reset(new (std::nothrow) png_bytep[height]);
    out->pixels.reset(new (std::nothrow) uint8_t[out->stride * height]);
    if (!out->rows || !out->pixels) {
        return false;
    }
    for (uint64_t i = 0; i < height; ++i) {
        uint8_t* row = out->pixels.get() + (bottomUp ? height - 1 - i : i) * out->stride;
        out->rows[i] = row;
        std::memset(row + out->stride - 4, 0, 4);
    }
    if (!ReadRowsWithJump(structs.png, structs.endInfo, out->rows.get())) {
        throw ZokError("error");
    }
    return true;
}

BITMAPINFOHEADER BitmapHeader(png_uint_32 width, png_uint_32 height, uint64_t sizeImage) {
    BITMAPINFOHEADER header;
    header.biSize = kBitmapInfoHeaderSize;
    header.biWidth = int32_t(width);
    header.biHeight = int32_t(height);
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = 0;
    header.biSizeImage = uint32_t(sizeImage);
    return header;
}

// The bitmap form of any PNG: padded bottom-up BGR rows, or, with the alpha kept, unpadded
// bottom-up BGR rows and a top-down alpha plane.
PixelBuffer DecodeToBitmap(FILE* stream, BITMAPINFOHEADER* header, PixelBuffer* alpha) {
    if (alpha != nullptr) {
        alpha->reset();
    }
    DecodedPng png;
    if (!DecodePng(stream, alpha != nullptr, true, true, &png)) {
        return nullptr;
    }
    const uint64_t width = png.layout.width;
    const uint64_t height = png.layout.height;
    if (!png.layout.alpha) {
        *header = BitmapHeader(png.layout.width, png.layout.height, png.stride * height);
        return std::move(png.pixels);
    }
    const uint64_t packedSize = width * 3 * height;
    PixelBuffer packed(new (std::nothrow) uint8_t[packedSize]);
    PixelBuffer plane(new (std::nothrow) uint8_t[width * height]);
    if (!packed || !plane) {
        return nullptr;
    }
    for (uint64_t r = 0; r < height; ++r) {
        const uint8_t* source = png.rows[r];
        uint8_t* colour = packed.get() + (height - 1 - r) * width * 3;
        uint8_t* opacity = plane.get() + r * width;
        for (uint64_t x = 0; x < width; ++x) {
            colour[x * 3] = source[x * 4];
            colour[x * 3 + 1] = source[x * 4 + 1];
            colour[x * 3 + 2] = source[x * 4 + 2];
            opacity[x] = source[x * 4 + 3];
        }
    }
    png.pixels.reset();
    *header = BitmapHeader(png.layout.width, png.layout.height, packedSize);
    *alpha = std::move(plane);
    return packed;
}

}  // namespace

int32_t CPngCodec::Encode(FILE* input, FILE* archive) {
    const off_t start = ftello(archive);
    if (start < 0) {
        return 0;
    }
    // Running out of memory is no fault of the picture: it is raised, never stored as an entry
    // that could not be encoded.
    DecodedPng png;
    if (!DecodePng(input, true, false, false, &png)) {
        throw std::bad_alloc();
    }
    switch (WritePngStream(archive, png.layout.width, png.layout.height, png.layout.alpha, false,
                           png.rows.get())) {
        case PngWriteStatus::NoStructures:
            throw std::bad_alloc();
        case PngWriteStatus::Failed:
            throw ZokError("error");
        case PngWriteStatus::Written:
            break;
    }
    const off_t end = ftello(archive);
    if (end < start || end - start > kMaxZokFileSize) {
        throw ZokError("error");
    }
    return static_cast<int32_t>(end - start);
}

PixelBuffer CPngCodec::DecodeBitmap(FILE* archive, BITMAPINFOHEADER* header, PixelBuffer* alpha) {
    return DecodeToBitmap(archive, header, alpha);
}

bool CPngCodec::ReadBitmapInfo(FILE* archive, BITMAPINFOHEADER* header) {
    ReadStructs structs;
    try {
        StartRead(archive, &structs);
    } catch (const ZokError&) {
        return false;
    }
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    if (!ReadInfoWithJump(structs.png, structs.info, archive, &width, &height)) {
        return false;
    }
    const uint64_t sizeImage = BitmapRowBytes(width, 24) * height;
    if (sizeImage > uint64_t(kMaxZokFileSize)) {
        return false;
    }
    *header = BitmapHeader(width, height, sizeImage);
    return true;
}

PixelBuffer DecodePngFile(FILE* stream, BITMAPINFOHEADER* header, PixelBuffer* alpha) {
    return DecodeToBitmap(stream, header, alpha);
}

}  // namespace zok
