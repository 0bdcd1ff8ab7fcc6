#include "zok/load_png_file.h"

#include "archive/file_handle.h"
#include "codecs/png_codec.h"

PixelBuffer LoadPngFile(const std::string& path, BITMAPINFOHEADER* header, PixelBuffer* alpha) {
    FileHandle file = FileHandle::Open(path, "rb");
    if (!file) {
        if (alpha != nullptr) {
            alpha->reset();
        }
        return nullptr;
    }
    return DecodePngFile(file.Get(), header, alpha);
}
