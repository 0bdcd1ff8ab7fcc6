// Placeholder until the BMP codec lands.
#include "codecs/bmp_codec.h"

#include "codecs/stored_bitmap.h"

int32_t CBmpCodec::Encode(FILE*, FILE*) { return 0; }
PixelBuffer CBmpCodec::DecodeBitmap(FILE* archive, BITMAPINFOHEADER* header, PixelBuffer*) {
    return ReadStoredBitmap(archive, header);
}
bool CBmpCodec::ReadBitmapInfo(FILE* archive, BITMAPINFOHEADER* header) {
    return ReadStoredBitmapInfo(archive, header);
}
