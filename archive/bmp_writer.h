#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace zok {

// Writers for pictures taken out of an archive in the bitmap form.

// A complete 24-bit uncompressed BMP file (file header, 40-byte info header, bottom-up rows
// padded to 4 bytes) from width x height blue-green-red pixels, bottom row first, each source
// row rowBytes long (at least width * 3). Nullopt for an empty picture or one whose file would
// not fit the format's 32-bit sizes.
std::optional<std::string> EncodeBmp24(int32_t width, int32_t height, const uint8_t* pixels,
                                       size_t rowBytes);

// A binary greyscale PGM (P5, maxval 255) of width x height bytes, top row first.
std::optional<std::string> EncodePgm(int32_t width, int32_t height, const uint8_t* plane);

}  // namespace zok
