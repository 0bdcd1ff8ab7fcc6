#pragma once

#include <memory>

#include "codecs/entry_codec.h"

namespace zok {

// BMP codec: writes an uncompressed 1-, 4-, 8- or 24-bit BMP (info header of 40 bytes or
// longer, rows bottom-up or top-down) as an 8-bit RGB PNG stream, and reads entries that hold
// a stored 24-bit BMP file. Encode fails with 0, never raises, and writes nothing unless
// libpng fails part-way through the stream.
class CBmpCodec : public CEntryCodec {
public:
    int32_t Encode(FILE* input, FILE* archive) override;
    PixelBuffer DecodeBitmap(FILE* archive, BITMAPINFOHEADER* header, PixelBuffer* alpha) override;
    bool ReadBitmapInfo(FILE* archive, BITMAPINFOHEADER* header) override;
};

// The pixels a BMP file the codec takes becomes: width x height pixels of 3 bytes, rows[0] the
// picture's top row, blue first when bgr (24-bit files), else red first. False for a file the
// codec does not take; raises std::bad_alloc when the buffers cannot be had.
struct BmpPixels {
    uint32_t width = 0;
    uint32_t height = 0;
    bool bgr = false;
    PixelBuffer pixels;
    std::unique_ptr<uint8_t*[]> rows;
};
bool ReadBmpPixels(FILE* input, BmpPixels* out);

}  // namespace zok
