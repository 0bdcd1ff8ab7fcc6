// Placeholder until the PNG codec lands: interface defaults only.
#include "codecs/png_codec.h"

int32_t CPngCodec::Encode(FILE*, FILE*) { return 0; }
PixelBuffer CPngCodec::DecodeBitmap(FILE* a, BITMAPINFOHEADER* h, PixelBuffer* alpha) {
    return CEntryCodec::DecodeBitmap(a, h, alpha);
}
bool CPngCodec::ReadBitmapInfo(FILE*, BITMAPINFOHEADER*) { return false; }
bool CPngCodec::Extract(FILE* a, uint8_t* b, uint32_t s, uint32_t t) {
    return CEntryCodec::Extract(a, b, s, t);
}
PixelBuffer DecodePngFile(FILE*, BITMAPINFOHEADER*, PixelBuffer* alpha) {
    if (alpha != nullptr) {
        alpha->reset();
    }
    return nullptr;
}
