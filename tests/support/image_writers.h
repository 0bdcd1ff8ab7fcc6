#pragma once

// Small picture writers for tests: BMP files of every depth, orientation and header size, and
// PNG files of every colour type, bit depth, interlace and transparency, all built in memory.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "codecs/entry_codec.h"
#include "io/file_handle.h"

namespace zoktest {

// An 8-bit RGBA picture, rows top-down, 4 bytes a pixel.
struct RgbaImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba;

    RgbaImage() = default;
    RgbaImage(int w, int h) : width(w), height(h), rgba(size_t(w) * size_t(h) * 4, 0) {}
    uint8_t* At(int x, int y) { return &rgba[(size_t(y) * size_t(width) + size_t(x)) * 4]; }
    const uint8_t* At(int x, int y) const {
        return &rgba[(size_t(y) * size_t(width) + size_t(x)) * 4];
    }
    bool operator==(const RgbaImage&) const = default;
};

// Deterministic colourful pixels; alpha varies when withAlpha, else it is 255.
RgbaImage PatternImage(int width, int height, uint32_t seed = 1, bool withAlpha = false);

// What the bitmap form holds for a picture: blue, green, red, bottom row first. Rows padded
// to 4 bytes with zeros when padded, else exactly width * 3 bytes.
std::vector<uint8_t> BottomUpBgr(const RgbaImage& image, bool padded = true);
// The alpha plane of the bitmap form: width * height bytes, top row first.
std::vector<uint8_t> TopDownAlpha(const RgbaImage& image);

// ---- BMP ----

struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
};

// A palette picture: one index per pixel, rows top-down.
struct IndexedImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> indices;
    std::vector<Rgb> palette;

    // The picture as RGBA (alpha 255); an index past the palette gives black.
    RgbaImage ToRgba() const;
};

// Random indices below 2^bitCount and a palette of paletteSize entries (0: 2^bitCount).
IndexedImage PatternIndexedImage(int width, int height, int bitCount, uint32_t seed = 1,
                                 size_t paletteSize = 0);

// How a BMP file is laid out beyond its pixels.
struct BmpLayout {
    bool topDown = false;      // negative biHeight, first row in the file is the top row
    uint32_t infoSize = 40;    // biSize: 40, or 108 (V4) / 124 (V5); the extra bytes are zero
    uint32_t compression = 0;  // biCompression as written
    uint32_t clrUsed = 0;      // biClrUsed as written (readers should ignore it)
    uint32_t gap = 0;          // extra bytes between the palette and the pixel data
    uint8_t gapByte = 0xA5;    // value of those extra bytes and of the row pad bytes
    std::optional<uint16_t> bitCountField =
        std::nullopt;  // biBitCount written instead of the real one
};

// A 24-bit BMP of the picture's colours.
std::string MakeBmp24(const RgbaImage& image, const BmpLayout& layout = {});
// A 1-, 4- or 8-bit BMP holding every palette entry of the picture.
std::string MakeBmpIndexed(const IndexedImage& image, int bitCount, const BmpLayout& layout = {});
// Assembles a BMP from its parts; bfOffBits = 14 + infoSize + palette size + layout.gap.
// height is written as given (negative for top-down). Nothing is checked.
std::string AssembleBmp(int32_t width, int32_t height, uint16_t bitCount, const BmpLayout& layout,
                        const std::string& paletteBytes, const std::string& pixelBytes);

// ---- PNG ----

enum PngColour : int {
    kPngGrey = 0,
    kPngRgb = 2,
    kPngPalette = 3,
    kPngGreyAlpha = 4,
    kPngRgba = 6
};

// A PNG picture as raw samples, exactly as they go into the file.
struct PngImage {
    int width = 0;
    int height = 0;
    int colourType = kPngRgb;
    int bitDepth = 8;
    // Channels per pixel (1 grey, 2 grey+alpha, 3 RGB, 4 RGBA, 1 palette index), rows
    // top-down, each sample below 2^bitDepth.
    std::vector<uint16_t> samples;
    // Palette colours (colour type 3); alpha goes into a tRNS chunk when paletteTrns.
    std::vector<uint8_t> paletteRgba;  // 4 bytes an entry
    bool paletteTrns = false;
    // The transparent grey (first value) or RGB colour of a tRNS chunk, in sample units.
    std::optional<std::vector<uint16_t>> trnsColour = std::nullopt;

    int Channels() const;
    // True when the picture has an alpha channel or a tRNS chunk.
    bool HasAlpha() const;
    // How the picture looks at 8 bits: palette looked up, grey widened, 16-bit samples
    // rounded to 8 (v * 255 / 65535), tRNS as alpha 0, alpha 255 where there is none.
    RgbaImage ToRgba() const;
};

// Random samples of the given kind (a random palette of 2^bitDepth entries for colour type 3).
// With transparency, colour type 3 gets varied palette alphas and grey/RGB a tRNS colour
// that some pixels use.
PngImage PatternPngImage(int width, int height, int colourType, int bitDepth, uint32_t seed = 1,
                         bool transparency = false);
// An 8-bit RGB (or RGBA when withAlpha) picture from RGBA pixels.
PngImage PngImageFromRgba(const RgbaImage& image, bool withAlpha);

struct PngWriteOptions {
    bool interlaced = false;
    bool ancillaryChunks = false;  // add gAMA, pHYs, tEXt and tIME chunks
};

// Writes the picture with libpng; throws std::runtime_error if libpng refuses it.
std::string MakePng(const PngImage& image, const PngWriteOptions& options = {});

// The chunk types of a PNG datastream in order ("IHDR", "IDAT", ...); empty when the
// signature is missing. Stops at a chunk that runs past the end.
std::vector<std::string> PngChunkTypes(const std::string& png);

// The IHDR fields of a PNG datastream (all zero when there is none).
struct PngHeader {
    uint32_t width = 0;
    uint32_t height = 0;
    int bitDepth = 0;
    int colourType = 0;
    int interlace = 0;
};
PngHeader ParsePngHeader(const std::string& png);

// ---- Running codecs on bytes ----

// An anonymous temporary file holding bytes, positioned at its start.
zok::FileHandle TempStream(const std::string& bytes);

// Encodes input after a 3-byte prefix in a fresh archive stream and returns the entry's bytes
// (empty when Encode returned 0). Fails the running test if the returned count is not the
// distance the archive stream moved. Exceptions pass through.
std::string EncodeToEntry(zok::CEntryCodec& codec, const std::string& input);
// The ZokError message Encode raises, or "" when it raises nothing.
std::string EncodeError(zok::CEntryCodec& codec, const std::string& input);

// A decoded bitmap form, copied into vectors (sizes from biSizeImage and width x height).
struct Bitmap {
    bool ok = false;  // a pixel buffer came back
    zok::BITMAPINFOHEADER header;
    std::vector<uint8_t> pixels;
    bool hasAlpha = false;
    std::vector<uint8_t> alpha;
};
// DecodeBitmap of the entry bytes, with or without an alpha out-pointer.
Bitmap DecodeEntry(zok::CEntryCodec& codec, const std::string& entry, bool wantAlpha);
// DecodePngFile of the file bytes.
Bitmap DecodeFile(const std::string& file, bool wantAlpha);
// The ZokError message DecodePngFile raises, or "" when it raises nothing.
std::string DecodeError(const std::string& file);
// ReadBitmapInfo of the entry bytes.
bool ReadInfo(zok::CEntryCodec& codec, const std::string& entry, zok::BITMAPINFOHEADER* header);

}  // namespace zoktest
