#include "codecs/png_read.h"

#include <csetjmp>

#include "codecs/png_stream.h"
#include "io/file_handle.h"
#include "io/size_limits.h"
#include "zok/zok_error.h"

namespace zok {

namespace {

// Largest ancillary chunk libpng may allocate for (palette and transparency are far smaller).
constexpr png_alloc_size_t kMaxChunkBytes = 1 << 20;

// libpng's reads: exactly the bytes asked for from the stream, or an error. For an archive
// entry the stream ends where the entry ends, so a picture cut short never reads on into the
// next entry.
void ReadFromStream(png_structp png, png_bytep data, size_t length) {
    auto* stream = static_cast<FILE*>(png_get_io_ptr(png));
    if (std::fread(data, 1, length, stream) != length) {
        png_error(png, "read past the end of the stream");
    }
}

}  // namespace

// Checks the signature and creates the read structures; raises what the codec raises.
void StartRead(FILE* stream, ReadStructs* structs) {
    png_byte signature[kPngSignatureSize];
    if (std::fread(signature, 1, kPngSignatureSize, stream) != kPngSignatureSize ||
        png_sig_cmp(signature, 0, kPngSignatureSize) != 0) {
        throw ZokError("Not a PNG");
    }
    structs->png =
        png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, QuietPngError, QuietPngWarning);
    if (structs->png == nullptr) {
        throw ZokError("Cannot create png_read_struct");
    }
    // Only the chunks that shape the pixels are read; every other chunk is skipped unread,
    // so a hostile chunk length cannot make libpng allocate for it.
    static const png_byte kChunksToProcess[] = "PLTE\0tRNS\0";
    png_set_keep_unknown_chunks(structs->png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    png_set_keep_unknown_chunks(structs->png, PNG_HANDLE_CHUNK_AS_DEFAULT, kChunksToProcess, 2);
    png_set_chunk_malloc_max(structs->png, kMaxChunkBytes);
    structs->info = png_create_info_struct(structs->png);
    structs->endInfo = png_create_info_struct(structs->png);
    if (structs->info == nullptr || structs->endInfo == nullptr) {
        throw ZokError("error");
    }
}

// Reads the chunks before the image data and brings any PNG to 8-bit RGB, or RGBA when
// keepAlpha and the picture has an alpha channel or a tRNS chunk. libpng may jump out of
// any call here, so this frame holds no object with a destructor.
bool ReadHeaderWithJump(png_structp png, png_infop info, FILE* stream, bool keepAlpha, bool bgr,
                        PngLayout* layout) {
    if (setjmp(png_jmpbuf(png)) != 0) {
        return false;
    }
    png_set_read_fn(png, stream, ReadFromStream);
    png_set_sig_bytes(png, int(kPngSignatureSize));
    png_read_info(png, info);
    layout->width = png_get_image_width(png, info);
    layout->height = png_get_image_height(png, info);
    const int depth = png_get_bit_depth(png, info);
    const int colourType = png_get_color_type(png, info);
    layout->packedInputBits = uint64_t(png_get_channels(png, info)) * uint64_t(depth);
    const bool trns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    layout->alpha = keepAlpha && ((colourType & PNG_COLOR_MASK_ALPHA) != 0 || trns);

    if (colourType == PNG_COLOR_TYPE_PALETTE) {
        png_set_palette_to_rgb(png);
    }
    if ((colourType & PNG_COLOR_MASK_COLOR) == 0 && depth < 8) {
        png_set_expand_gray_1_2_4_to_8(png);
    }
    if (trns && layout->alpha) {
        png_set_tRNS_to_alpha(png);
    }
    if (depth == 16) {
        png_set_scale_16(png);
    }
    if ((colourType & PNG_COLOR_MASK_COLOR) == 0) {
        png_set_gray_to_rgb(png);
    }
    if (!layout->alpha) {
        png_set_strip_alpha(png);
    }
    if (bgr) {
        png_set_bgr(png);
    }
    layout->interlaced = png_get_interlace_type(png, info) != PNG_INTERLACE_NONE;
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    // The buffers are sized for exactly this; anything else must never reach them.
    if (png_get_bit_depth(png, info) != 8 ||
        png_get_channels(png, info) != (layout->alpha ? 4 : 3)) {
        png_error(png, "unexpected row layout");
    }
    layout->rowBytes = png_get_rowbytes(png, info);
    return true;
}

// Reads only the chunks before the image data.
bool ReadInfoWithJump(png_structp png, png_infop info, FILE* stream, png_uint_32* width,
                      png_uint_32* height) {
    if (setjmp(png_jmpbuf(png)) != 0) {
        return false;
    }
    png_set_read_fn(png, stream, ReadFromStream);
    png_set_sig_bytes(png, int(kPngSignatureSize));
    png_read_info(png, info);
    *width = png_get_image_width(png, info);
    *height = png_get_image_height(png, info);
    return true;
}

// False when the rest of the stream is too short to inflate into the picture's pixels, so that
// a tiny hostile file or entry cannot make the decoder allocate for a huge picture. The rest is
// measured by seeking: for an archive entry it ends where the entry ends.
bool DataCanFill(FILE* stream, const PngLayout& layout) {
    const off_t here = ftello(stream);
    const int64_t end = StreamLength(stream);
    if (here < 0 || end < 0) {
        return true;  // not seekable: nothing to measure against
    }
    const uint64_t left = end > here ? uint64_t(end - here) : 0;
    const uint64_t rawBytes =
        uint64_t(layout.width) * layout.packedInputBits / 8 * uint64_t(layout.height);
    return rawBytes <= MaxInflatedSize(left);
}

}  // namespace zok
