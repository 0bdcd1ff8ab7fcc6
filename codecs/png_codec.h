#pragma once

#include "codecs/entry_codec.h"

namespace zok {

// PNG codec: re-encodes a PNG input as a uniform 8-bit RGB or RGBA PNG stream and decodes
// such entries into the bitmap form. Any PNG is accepted: 16-bit samples are scaled to 8,
// grey and palette pictures become RGB, and a tRNS chunk becomes an alpha channel, so an
// entry is RGBA exactly when its input has alpha or tRNS. Raises ZokError "Not a PNG",
// "Cannot create png_read_struct" or "error" (also for pictures of 2 GiB or more decoded);
// when memory for the buffers cannot be had, Encode raises std::bad_alloc and DecodeBitmap
// returns null.
class CPngCodec : public CEntryCodec {
public:
    int32_t Encode(FILE* input, FILE* archive) override;
    PixelBuffer DecodeBitmap(FILE* archive, BITMAPINFOHEADER* header, PixelBuffer* alpha) override;
    bool ReadBitmapInfo(FILE* archive, BITMAPINFOHEADER* header) override;
};

// Decodes any PNG file, positioned at its first byte, into the bitmap form, with the same
// conversions and messages as DecodeBitmap.
PixelBuffer DecodePngFile(FILE* stream, BITMAPINFOHEADER* header, PixelBuffer* alpha);

}  // namespace zok
