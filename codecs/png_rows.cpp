#include "codecs/png_rows.h"

#include <csetjmp>
#include <memory>
#include <new>

#include "codecs/png_read.h"
#include "io/size_limits.h"
#include "zok/zok_error.h"

namespace zok {

namespace {

// One row of a picture that is not interlaced. libpng may jump out of png_read_row, so this
// frame holds no object with a destructor.
bool ReadRowWithJump(png_structp png, png_bytep row) {
    if (setjmp(png_jmpbuf(png)) != 0) {
        return false;
    }
    png_read_row(png, row, nullptr);
    return true;
}

// Every pass of an interlaced picture into rows that hold it whole.
bool ReadImageWithJump(png_structp png, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png)) != 0) {
        return false;
    }
    png_read_image(png, rows);
    return true;
}

bool ReadEndWithJump(png_structp png, png_infop endInfo) {
    if (setjmp(png_jmpbuf(png)) != 0) {
        return false;
    }
    png_read_end(png, endInfo);
    return true;
}

Error Damaged(const char* detail) {
    Error error = MakeError(ErrorCode::PictureDamaged);
    error.detail = detail;
    return error;
}

}  // namespace

Error ReadPngRows(FILE* stream, bool keepAlpha, bool bgr, uint64_t maxPixels,
                  const std::function<bool(const RowShape&)>& begin,
                  const std::function<bool(uint32_t y, const uint8_t* row)>& row) {
    ReadStructs structs;
    try {
        StartRead(stream, &structs);
    } catch (const ZokError& e) {
        return Damaged(e.what());
    }
    PngLayout layout{};
    if (!ReadHeaderWithJump(structs.png, structs.info, stream, keepAlpha, bgr, &layout)) {
        return Damaged("error");
    }
    const uint64_t width = layout.width;
    const uint64_t height = layout.height;
    if (width * height > maxPixels || width * 4 > uint64_t(kMaxZokFileSize)) {
        Error error = MakeError(ErrorCode::PictureTooLarge);
        error.number = maxPixels;
        return error;
    }
    if (!DataCanFill(stream, layout)) {
        return Damaged("error");
    }
    const RowShape shape{layout.width, layout.height, layout.alpha};
    if (!begin(shape)) {
        return MakeError(ErrorCode::Cancelled);
    }
    const size_t rowBytes = layout.rowBytes;
    if (!layout.interlaced) {
        std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[rowBytes]);
        if (!buffer) {
            return MakeError(ErrorCode::OutOfMemory);
        }
        for (uint32_t y = 0; y < layout.height; ++y) {
            if (!ReadRowWithJump(structs.png, buffer.get())) {
                return Damaged("error");
            }
            if (!row(y, buffer.get())) {
                return MakeError(ErrorCode::Cancelled);
            }
        }
    } else {
        std::unique_ptr<uint8_t[]> pixels(new (std::nothrow) uint8_t[rowBytes * height]);
        std::unique_ptr<png_bytep[]> rows(new (std::nothrow) png_bytep[height]);
        if (!pixels || !rows) {
            return MakeError(ErrorCode::OutOfMemory);
        }
        for (uint64_t y = 0; y < height; ++y) {
            rows[y] = pixels.get() + y * rowBytes;
        }
        if (!ReadImageWithJump(structs.png, rows.get())) {
            return Damaged("error");
        }
        for (uint32_t y = 0; y < layout.height; ++y) {
            if (!row(y, rows[y])) {
                return MakeError(ErrorCode::Cancelled);
            }
        }
    }
    if (!ReadEndWithJump(structs.png, structs.endInfo)) {
        return Damaged("error");
    }
    return Error();
}

}  // namespace zok
