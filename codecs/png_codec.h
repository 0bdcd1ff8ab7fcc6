#pragma once

#include "archive/entry_codec.h"

// PNG codec: re-encodes a PNG input as a uniform 8-bit RGB or RGBA PNG stream and decodes
// such entries into the bitmap form. Raises ZokError "Not a PNG", "Cannot create
// png_read_struct" or "error".
class CPngCodec : public CEntryCodec {
public:
    int32_t Encode(FILE* input, FILE* archive) override;
    PixelBuffer DecodeBitmap(FILE* archive, BITMAPINFOHEADER* header, PixelBuffer* alpha) override;
    bool ReadBitmapInfo(FILE* archive, BITMAPINFOHEADER* header) override;
    bool Extract(FILE* archive, uint8_t* buffer, uint32_t sourceSize, uint32_t storedSize) override;
};

// Decodes any PNG file, positioned at its first byte, into the bitmap form.
PixelBuffer DecodePngFile(FILE* stream, BITMAPINFOHEADER* header, PixelBuffer* alpha);
