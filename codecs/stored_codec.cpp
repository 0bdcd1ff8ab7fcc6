#include "codecs/stored_codec.h"

#include "codecs/stored_bitmap.h"

namespace zok {

int32_t CStoredCodec::Encode(FILE* input, FILE* archive) {
    const off_t start = ftello(archive);
    if (start < 0) {
        return 0;
    }
    uint8_t block[kBlockSize];
    for (;;) {
        const size_t n = std::fread(block, 1, kBlockSize, input);
        if (n > 0 && std::fwrite(block, 1, n, archive) != n) {
            break;
        }
        if (n < kBlockSize) {
            break;
        }
    }
    const off_t end = ftello(archive);
    return end < start ? 0 : static_cast<int32_t>(end - start);
}

PixelBuffer CStoredCodec::DecodeBitmap(FILE* archive, BITMAPINFOHEADER* header, PixelBuffer*) {
    return ReadStoredBitmap(archive, header);
}

bool CStoredCodec::ReadBitmapInfo(FILE* archive, BITMAPINFOHEADER* header) {
    return ReadStoredBitmapInfo(archive, header);
}

}  // namespace zok
