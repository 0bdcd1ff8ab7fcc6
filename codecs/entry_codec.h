#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

#include "zok/bitmap_info.h"

namespace zok {

// Turns one input file into an entry's bytes and one entry back into a buffer or a bitmap.
// Streams are open binary stdio streams; a codec never opens or closes them.
class CEntryCodec {
public:
    virtual ~CEntryCodec() = default;

    // Writes the entry's data at the archive stream's position and leaves the stream right
    // after it. Returns the byte count stored as the entry's storedSize (0 on failure).
    virtual int32_t Encode(FILE* input, FILE* archive) = 0;

    // Decodes the entry at the archive stream's position into 24-bit BGR bottom-up pixels.
    // When alpha is given it receives the alpha plane, or null when there is none.
    virtual PixelBuffer DecodeBitmap(FILE* archive, BITMAPINFOHEADER* header, PixelBuffer* alpha);

    // Fills only the header of the entry at the archive stream's position.
    virtual bool ReadBitmapInfo(FILE* archive, BITMAPINFOHEADER* header);

    // Fills buffer with the entry's content. The default copies storedSize bytes as they are
    // and reports success whatever the read delivered.
    virtual bool Extract(FILE* archive, uint8_t* buffer, uint32_t sourceSize, uint32_t storedSize);
};

}  // namespace zok
