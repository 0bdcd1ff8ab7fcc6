#pragma once

#include <png.h>

#include <cstdint>
#include <cstdio>

namespace zok {

// libpng read plumbing shared by the PNG codec and the row reader: structures destroyed on
// every path, reads confined to the stream, and the transforms that bring any PNG to 8-bit
// RGB(A).

inline constexpr size_t kPngSignatureSize = 8;

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
    bool interlaced;           // rows come in several passes
    size_t rowBytes;
};

// Checks the signature and creates the read structures; raises ZokError "Not a PNG", "Cannot
// create png_read_struct" or "error".
void StartRead(FILE* stream, ReadStructs* structs);

// Reads the chunks before the image data and brings any PNG to 8-bit RGB, or RGBA when
// keepAlpha and the picture has an alpha channel or a tRNS chunk; with bgr blue comes first.
// False when libpng failed.
bool ReadHeaderWithJump(png_structp png, png_infop info, FILE* stream, bool keepAlpha, bool bgr,
                        PngLayout* layout);

// Reads only the chunks before the image data.
bool ReadInfoWithJump(png_structp png, png_infop info, FILE* stream, png_uint_32* width,
                      png_uint_32* height);

// False when the rest of the stream is too short to inflate into the picture's pixels.
bool DataCanFill(FILE* stream, const PngLayout& layout);

}  // namespace zok
