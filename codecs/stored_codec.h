#pragma once

#include "codecs/entry_codec.h"

namespace zok {

// Stored-entry codec: the entry is the input's bytes, unchanged.
class CStoredCodec : public CEntryCodec {
public:
    static constexpr size_t kBlockSize = 4096;

    int32_t Encode(FILE* input, FILE* archive) override;
    PixelBuffer DecodeBitmap(FILE* archive, BITMAPINFOHEADER* header, PixelBuffer* alpha) override;
    bool ReadBitmapInfo(FILE* archive, BITMAPINFOHEADER* header) override;
};

}  // namespace zok
