#pragma once

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

}  // namespace zok
