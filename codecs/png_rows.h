#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "zok/error.h"

namespace zok {

// A picture's size as its rows come out.
struct RowShape {
    uint32_t width = 0;
    uint32_t height = 0;
    bool alpha = false;  // rows hold 4 bytes a pixel (the last one alpha), else 3
};

// Decodes any PNG at the stream's position row by row, top row first, without holding the
// picture: 8-bit RGB, or RGBA when keepAlpha and the picture has alpha or tRNS; with bgr, blue
// comes first. Only an interlaced picture, whose rows come in passes, is held whole. begin gets
// the shape before any pixel buffer is made; begin or row returning false stops the decoding.
//
// Returns None when every row was given; Cancelled when a callback stopped it;
// PictureTooLarge when the picture has more than maxPixels pixels or its rows do not fit the
// format's sizes (nothing is allocated for it); PictureDamaged (detail: libpng's word, or "Not
// a PNG") for a stream that cannot be decoded or is too short for its pixels; OutOfMemory.
Error ReadPngRows(FILE* stream, bool keepAlpha, bool bgr, uint64_t maxPixels,
                  const std::function<bool(const RowShape&)>& begin,
                  const std::function<bool(uint32_t y, const uint8_t* row)>& row);

}  // namespace zok
