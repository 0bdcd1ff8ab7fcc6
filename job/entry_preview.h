#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "zok/bitmap_info.h"

namespace zok {

class CZokFile;

// What the archive window's preview panel shows of one entry. No Qt here.

// A picture entry decoded for display.
struct PicturePreview {
    int32_t width = 0;  // the picture's size in pixels
    int32_t height = 0;
    bool hasAlpha = false;
    // Every step-th pixel of every step-th row (step 1 but for very large pictures), top row
    // first, red, green, blue, alpha a pixel; alpha is 255 without an alpha plane.
    int32_t sampledWidth = 0;
    int32_t sampledHeight = 0;
    std::vector<uint8_t> rgba;
    std::string problem;  // why there is nothing to show, in Korean
};

// Pictures with more pixels than this are not decoded for a preview.
inline constexpr uint64_t kMaxPreviewPixels = 64ull << 20;

// Decodes a picture entry row by row and samples it down so that neither side of the result
// exceeds maxSide; memory is that of the sample and a row. Safe on any thread.
PicturePreview DecodePicturePreview(const CZokFile& zok, size_t index, int32_t maxSide = 2048);

// The first lines of an entry's content, as text.
struct TextPreview {
    std::string text;     // UTF-8, control bytes other than tab escaped
    bool binary = false;  // the content is not text (a NUL byte among the first bytes)
    bool more = false;    // the content goes on past what is shown
    std::string problem;  // why it could not be read, in Korean
};

// Reads at most maxBytes of the entry through OpenEntry and keeps at most maxLines lines.
// UTF-8 is shown as it is; other text is read as CP949, the code page of Korean text files.
TextPreview ReadTextPreview(const CZokFile& zok, size_t index, size_t maxBytes = 4096,
                            size_t maxLines = 40);

}  // namespace zok
