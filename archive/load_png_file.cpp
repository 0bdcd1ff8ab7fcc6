#include "zok/load_png_file.h"

#include "codecs/png_codec.h"
#include "io/regular_file.h"

namespace zok {

PixelBuffer LoadPngFile(const std::string& path, BITMAPINFOHEADER* header, PixelBuffer* alpha) {
    std::string reason;
    FileHandle file = OpenRegularFile(path, &reason);
    if (!file) {
        if (alpha != nullptr) {
            alpha->reset();
        }
        return nullptr;
    }
    return DecodePngFile(file.Get(), header, alpha);
}

}  // namespace zok
