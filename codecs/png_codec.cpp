#include "codecs/png_codec.h"

#include <csetjmp>
#include <cstring>
#include <new>

#include "codecs/png_stream.h"
#include "io/file_handle.h"
#include "io/size_limits.h"
#include "zok/entry_record.h"
#include "zok/zok_error.h"

namespace zok {

namespace {

constexpr size_t kSignatureSize = 8;

// Destroys the read structures on every path out of the function that owns it.
struct ReadStructs {
    png_structp png = nullptr;
    png_infop info = nullptr;
    png_infop endInfo = nullptr;
    ReadStructs() = default;
    ReadStructs(const ReadStructs&) = delete;
    ReadStructs& operator=(const ReadStructs&) = delete;
    ~ReadStructs() {
        if (png != nullptr) {
            png_destroy_read_struct(&png, &info, &endInfo);
        }
    }
};

// What the header says and how the rows come out after the transforms.
struct PngLayout {
    png_uint_32 width;
    png_uint_32 height;
    uint64_t packedInputBits;  // bits of one input pixel (channels x depth)
    bool alpha;                // decoded rows hold 4 bytes a pixel
    size_t rowBytes;
};

// Largest ancillary chunk libpng may allocate for (palette and transparency are far smaller).
constexpr png_alloc_size_t kMaxChunkBytes = 1 << 20;

// libpng's reads: exactly the bytes asked for from the stream, or an error. For an archive
// entry the stream ends where the entry ends, so a picture cut short never reads on into the
// next entry.
void ReadFromStream(png_structp png, png_bytep data, size_t length) {
    auto* stream = static_cast<FILE*>(png_get_io_ptr(png));
    if (std::fread(data, 1, length, stream) != length) {
        png_error(png, "read past the end of the stream");
    }
}

// Checks the signature and creates the read structures; raises what the codec raises.
void StartRead(FILE* stream, ReadStructs* structs) {
    png_byte signature[kSignatureSize];
    if (std::fread(signature, 1, kSignatureSize, stream) != kSignatureSize ||
        png_sig_cmp(signature, 0, kSignatureSize) != 0) {
        throw ZokError("Not a PNG");
    }
    structs->png =
        png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, QuietPngError, QuietPngWarning);
    if (structs->png == nullptr) {
        throw ZokError("Cannot create png_read_struct");
    }
    // Only the chunks that shape the pixels are read; every other chunk is skipped unread,
    // so a hostile chunk length cannot make libpng allocate for it.
    static const png_byte kChunksToProcess[] = "PLTE\0tRNS\0";
    png_set_keep_unknown_chunks(structs->png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    png_set_keep_unknown_chunks(structs->png, PNG_HANDLE_CHUNK_AS_DEFAULT, kChunksToProcess, 2);
    png_set_chunk_malloc_max(structs->png, kMaxChunkBytes);
    structs->info = png_create_info_struct(structs->png);
    structs->endInfo = png_create_info_struct(structs->png);
    if (structs->info == nullptr || structs->endInfo == nullptr) {
        throw ZokError("error");
    }
}

// Reads the chunks before the image data and brings any PNG to 8-bit RGB, or RGBA when
// keepAlpha and the picture has an alpha channel or a tRNS chunk. libpng may jump out of
// any call here, so this frame holds no object with a destructor.
bool ReadHeaderWithJump(png_structp png, png_infop info, FILE* stream, bool keepAlpha, bool bgr,
                        PngLayout* layout) {
    if (setjmp(png_jmpbuf(png)) != 0) {
        return false;
    }
    png_set_read_fn(png, stream, ReadFromStream);
    png_set_sig_bytes(png, int(kSignatureSize));
    png_read_info(png, info);
    layout->width = png_get_image_width(png, info);
    layout->height = png_get_image_height(png, info);
    const int depth = png_get_bit_depth(png, info);
    const int colourType = png_get_color_type(png, info);
    layout->packedInputBits = uint64_t(png_get_channels(png, info)) * uint64_t(depth);
    const bool trns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    layout->alpha = keepAlpha && ((colourType & PNG_COLOR_MASK_ALPHA) != 0 || trns);

    if (colourType == PNG_COLOR_TYPE_PALETTE) {
        png_set_palette_to_rgb(png);
    }
    if ((colourType & PNG_COLOR_MASK_COLOR) == 0 && depth < 8) {
        png_set_expand_gray_1_2_4_to_8(png);
    }
    if (trns && layout->alpha) {
        png_set_tRNS_to_alpha(png);
    }
    if (depth == 16) {
        png_set_scale_16(png);
    }
    if ((colourType & PNG_COLOR_MASK_COLOR) == 0) {
        png_set_gray_to_rgb(png);
    }
    if (!layout->alpha) {
        png_set_strip_alpha(png);
    }
    if (bgr) {
        png_set_bgr(png);
    }
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    // The buffers are sized for exactly this; anything else must never reach them.
    if (png_get_bit_depth(png, info) != 8 ||
        png_get_channels(png, info) != (layout->alpha ? 4 : 3)) {
        png_error(png, "unexpected row layout");
    }
    layout->rowBytes = png_get_rowbytes(png, info);
    return true;
}

// Decodes the image data into the given rows and reads the chunks after it.
bool ReadRowsWithJump(png_structp png, png_infop endInfo, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png)) != 0) {
        return false;
    }
    png_read_image(png, rows);
    png_read_end(png, endInfo);
    return true;
}

// Reads only the chunks before the image data.
bool ReadInfoWithJump(png_structp png, png_infop info, FILE* stream, png_uint_32* width,
                      png_uint_32* height) {
    if (setjmp(png_jmpbuf(png)) != 0) {
        return false;
    }
    png_set_read_fn(png, stream, ReadFromStream);
    png_set_sig_bytes(png, int(kSignatureSize));
    png_read_info(png, info);
    *width = png_get_image_width(png, info);
    *height = png_get_image_height(png, info);
    return true;
}

// False when the rest of the stream is too short to inflate into the picture's pixels, so that
// a tiny hostile file or entry cannot make the decoder allocate for a huge picture. The rest is
// measured by seeking: for an archive entry it ends where the entry ends.
bool DataCanFill(FILE* stream, const PngLayout& layout) {
    const off_t here = ftello(stream);
    const int64_t end = StreamLength(stream);
    if (here < 0 || end < 0) {
        return true;  // not seekable: nothing to measure against
    }
    const uint64_t left = end > here ? uint64_t(end - here) : 0;
    const uint64_t rawBytes =
        uint64_t(layout.width) * layout.packedInputBits / 8 * uint64_t(layout.height);
    return rawBytes <= MaxInflatedSize(left);
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
    DecodedPng png;
    if (!DecodePng(input, true, false, false, &png)) {
        return 0;
    }
    switch (WritePngStream(archive, png.layout.width, png.layout.height, png.layout.alpha, false,
                           png.rows.get())) {
        case PngWriteStatus::NoStructures:
            return 0;
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

bool CPngCodec::Extract(FILE* archive, uint8_t* buffer, uint32_t, uint32_t storedSize) {
    return std::fread(buffer, 1, storedSize, archive) == storedSize;
}

PixelBuffer DecodePngFile(FILE* stream, BITMAPINFOHEADER* header, PixelBuffer* alpha) {
    return DecodeToBitmap(stream, header, alpha);
}

}  // namespace zok
