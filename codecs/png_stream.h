#pragma once

#include <png.h>

#include <cstdint>
#include <cstdio>

namespace zok {

// libpng plumbing shared by the PNG and BMP codecs.

// Error and warning handlers that keep libpng quiet: an error jumps back through png_jmpbuf
// without printing, a warning is dropped. The codecs report failures themselves.
void QuietPngError(png_structp png, png_const_charp message);
void QuietPngWarning(png_structp png, png_const_charp message);

enum class PngWriteStatus {
    Written,       // the whole stream is in the output
    NoStructures,  // libpng could not create its write structures; nothing was written
    Failed,        // libpng failed part-way; what was written stays in the output
};

// Writes height rows of width 8-bit pixels (RGB, or RGBA when alpha) as one PNG stream at the
// output's position: not interlaced, zlib level 5 and memory level 9, nothing but IHDR, IDAT
// and IEND. With bgr the rows hold blue, green, red instead. rows[0] is the top row.
PngWriteStatus WritePngStream(FILE* output, uint32_t width, uint32_t height, bool alpha, bool bgr,
                              uint8_t* const* rows);

}  // namespace zok
