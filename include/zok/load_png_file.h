#pragma once

#include <string>

#include "zok/bitmap_info.h"
#include "zok/export.h"

namespace zok {

// Decodes the PNG file at path into the bitmap form (24-bit BGR bottom-up pixels, and the
// alpha plane when alpha is given and the picture has one). Null, with *alpha cleared, when
// the file cannot be opened; the PNG codec's ZokError ("Not a PNG", "error" ...) passes through.
ZOK_API PixelBuffer LoadPngFile(const std::string& path, BITMAPINFOHEADER* header,
                                PixelBuffer* alpha);

}  // namespace zok
