#include "codecs/entry_codec.h"

namespace zok {

PixelBuffer CEntryCodec::DecodeBitmap(FILE*, BITMAPINFOHEADER*, PixelBuffer* alpha) {
    if (alpha != nullptr) {
        alpha->reset();
    }
    return nullptr;
}

bool CEntryCodec::ReadBitmapInfo(FILE*, BITMAPINFOHEADER*) {
    return false;
}

bool CEntryCodec::Extract(FILE* archive, uint8_t* buffer, uint32_t, uint32_t storedSize) {
    if (storedSize > 0) {
        (void)std::fread(buffer, 1, storedSize, archive);
    }
    return true;
}

}  // namespace zok
