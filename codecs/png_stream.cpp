#include "codecs/png_stream.h"

#include <csetjmp>

namespace zok {

void QuietPngError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

void QuietPngWarning(png_structp, png_const_charp) {}

namespace {

// Destroys the write structures on every path out of WritePngStream.
struct WriteStructs {
    png_structp png = nullptr;
    png_infop info = nullptr;
    WriteStructs() = default;
    WriteStructs(const WriteStructs&) = delete;
    WriteStructs& operator=(const WriteStructs&) = delete;
    ~WriteStructs() {
        if (png != nullptr) {
            png_destroy_write_struct(&png, &info);
        }
    }
};

struct WriteJob {
    FILE* output;
    png_uint_32 width;
    png_uint_32 height;
    int colourType;
    bool bgr;
    png_bytepp rows;
};

// libpng may jump out of any call here, so this frame holds no object with a destructor.
bool WriteWithJump(png_structp png, png_infop info, const WriteJob* job) {
    if (setjmp(png_jmpbuf(png)) != 0) {
        return false;
    }
    png_init_io(png, job->output);
    png_set_compression_level(png, 5);
    png_set_compression_mem_level(png, 9);
    png_set_IHDR(png, info, job->width, job->height, 8, job->colourType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    if (job->bgr) {
        png_set_bgr(png);
    }
    png_write_image(png, job->rows);
    png_write_end(png, info);
    return true;
}

}  // namespace

PngWriteStatus WritePngStream(FILE* output, uint32_t width, uint32_t height, bool alpha, bool bgr,
                              uint8_t* const* rows) {
    WriteStructs structs;
    structs.png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, QuietPngError, QuietPngWarning);
    if (structs.png == nullptr) {
        return PngWriteStatus::NoStructures;
    }
    structs.info = png_create_info_struct(structs.png);
    if (structs.info == nullptr) {
        return PngWriteStatus::NoStructures;
    }
    const WriteJob job{output, width,
                       height, alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB,
                       bgr,    const_cast<png_bytepp>(rows)};
    return WriteWithJump(structs.png, structs.info, &job) ? PngWriteStatus::Written
                                                          : PngWriteStatus::Failed;
}

}  // namespace zok
