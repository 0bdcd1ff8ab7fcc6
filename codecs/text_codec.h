#pragma once

#include "archive/entry_codec.h"

// Deflate codec: the entry is one zlib stream of the whole input (level 5).
class CTextCodec : public CEntryCodec {
public:
    int32_t Encode(FILE* input, FILE* archive) override;
    bool Extract(FILE* archive, uint8_t* buffer, uint32_t sourceSize, uint32_t storedSize) override;

    // Output room for one-shot compression of n bytes: floor((n + 12) * 1.01).
    static uint32_t CompressBound(uint32_t n);
};
