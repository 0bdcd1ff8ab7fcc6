#pragma once

#include <cstdio>

#include "codecs/entry_codec.h"

namespace zok {

// Reading of an entry that holds a whole 24-bit bottom-up BMP file as it was stored.
// Shared by the BMP codec and the stored-entry codec.

// Skips the 14-byte file header and reads the 40-byte info header as stored.
bool ReadStoredBitmapInfo(FILE* archive, BITMAPINFOHEADER* header);

// Reads the info header and the padded 24-bit rows that follow it; the header is as stored but
// for biSizeImage, which gives the returned buffer's size. Returns null for a bitmap
// that is not 24-bit and bottom-up, has no pixels, or whose rows run past the end of the file.
PixelBuffer ReadStoredBitmap(FILE* archive, BITMAPINFOHEADER* header);

}  // namespace zok
