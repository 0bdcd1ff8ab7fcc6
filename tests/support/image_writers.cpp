#include "tests/support/image_writers.h"

#include <png.h>

#include <gtest/gtest.h>

#include <csetjmp>
#include <random>
#include <stdexcept>

#include "codecs/png_codec.h"
#include "tests/support/test_support.h"
#include "zok/zok_error.h"

using namespace zok;

namespace zoktest {

RgbaImage PatternImage(int width, int height, uint32_t seed, bool withAlpha) {
    RgbaImage image(width, height);
    std::mt19937 rng(seed);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* p = image.At(x, y);
            p[0] = uint8_t(rng());
            p[1] = uint8_t(x * 37 + y * 11);
            p[2] = uint8_t(rng());
            p[3] = withAlpha ? uint8_t(rng()) : 255;
        }
    }
    return image;
}

std::vector<uint8_t> BottomUpBgr(const RgbaImage& image, bool padded) {
    const size_t rowBytes = size_t(image.width) * 3;
    const size_t stride = padded ? (rowBytes + 3) / 4 * 4 : rowBytes;
    std::vector<uint8_t> out(stride * size_t(image.height), 0);
    for (int y = 0; y < image.height; ++y) {
        uint8_t* row = &out[size_t(image.height - 1 - y) * stride];
        for (int x = 0; x < image.width; ++x) {
            const uint8_t* p = image.At(x, y);
            row[x * 3] = p[2];
            row[x * 3 + 1] = p[1];
            row[x * 3 + 2] = p[0];
        }
    }
    return out;
}

std::vector<uint8_t> TopDownAlpha(const RgbaImage& image) {
    std::vector<uint8_t> out;
    out.reserve(size_t(image.width) * size_t(image.height));
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            out.push_back(image.At(x, y)[3]);
        }
    }
    return out;
}

// ---- BMP ----

RgbaImage IndexedImage::ToRgba() const {
    RgbaImage image(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const size_t index = indices[size_t(y) * size_t(width) + size_t(x)];
            const Rgb c = index < palette.size() ? palette[index] : Rgb{};
            uint8_t* p = image.At(x, y);
            p[0] = c.r;
            p[1] = c.g;
            p[2] = c.b;
            p[3] = 255;
        }
    }
    return image;
}

IndexedImage PatternIndexedImage(int width, int height, int bitCount, uint32_t seed,
                                 size_t paletteSize) {
    std::mt19937 rng(seed);
    IndexedImage image;
    image.width = width;
    image.height = height;
    const uint32_t colours = 1u << bitCount;
    image.palette.resize(paletteSize != 0 ? paletteSize : colours);
    for (Rgb& c : image.palette) {
        c = Rgb{uint8_t(rng()), uint8_t(rng()), uint8_t(rng())};
    }
    image.indices.resize(size_t(width) * size_t(height));
    for (uint8_t& index : image.indices) {
        index = uint8_t(rng() % colours);
    }
    return image;
}

std::string AssembleBmp(int32_t width, int32_t height, uint16_t bitCount, const BmpLayout& layout,
                        const std::string& paletteBytes, const std::string& pixelBytes) {
    const uint32_t offBits = 14 + layout.infoSize + uint32_t(paletteBytes.size()) + layout.gap;
    std::string out = "BM";
    AppendU32(out, offBits + uint32_t(pixelBytes.size()));
    AppendU32(out, 0);
    AppendU32(out, offBits);
    if (layout.infoSize == 12) {
        // The old core header: 16-bit width and height.
        AppendU32(out, 12);
        AppendU16(out, uint16_t(width));
        AppendU16(out, uint16_t(height));
        AppendU16(out, 1);
        AppendU16(out, layout.bitCountField.value_or(bitCount));
    } else {
        std::string info;
        AppendU32(info, layout.infoSize);
        AppendU32(info, uint32_t(width));
        AppendU32(info, uint32_t(height));
        AppendU16(info, 1);
        AppendU16(info, layout.bitCountField.value_or(bitCount));
        AppendU32(info, layout.compression);
        AppendU32(info, uint32_t(pixelBytes.size()));
        AppendU32(info, 2835);
        AppendU32(info, 2835);
        AppendU32(info, layout.clrUsed);
        AppendU32(info, 0);
        info.resize(layout.infoSize, '\0');
        out += info;
    }
    out += paletteBytes;
    out.append(layout.gap, char(layout.gapByte));
    out += pixelBytes;
    return out;
}

namespace {

// File rows in file order: bottom-up unless the layout is top-down.
template <typename RowFn>
std::string BuildRows(int width, int height, int bitCount, const BmpLayout& layout, RowFn fill) {
    const size_t stride = (size_t(width) * size_t(bitCount) + 31) / 32 * 4;
    std::string pixels;
    pixels.reserve(stride * size_t(height));
    for (int k = 0; k < height; ++k) {
        const int y = layout.topDown ? k : height - 1 - k;
        std::string row(stride, char(layout.gapByte));
        fill(y, row);
        pixels += row;
    }
    return pixels;
}

}  // namespace

std::string MakeBmp24(const RgbaImage& image, const BmpLayout& layout) {
    const std::string pixels =
        BuildRows(image.width, image.height, 24, layout, [&](int y, std::string& row) {
            for (int x = 0; x < image.width; ++x) {
                const uint8_t* p = image.At(x, y);
                row[size_t(x) * 3] = char(p[2]);
                row[size_t(x) * 3 + 1] = char(p[1]);
                row[size_t(x) * 3 + 2] = char(p[0]);
            }
        });
    return AssembleBmp(image.width, layout.topDown ? -image.height : image.height, 24, layout, "",
                       pixels);
}

std::string MakeBmpIndexed(const IndexedImage& image, int bitCount, const BmpLayout& layout) {
    std::string palette;
    for (const Rgb& c : image.palette) {
        palette += {char(c.b), char(c.g), char(c.r), '\0'};
    }
    const int perByte = 8 / bitCount;
    const size_t usedBytes = (size_t(image.width) * size_t(bitCount) + 7) / 8;
    const std::string pixels =
        BuildRows(image.width, image.height, bitCount, layout, [&](int y, std::string& row) {
            // Bits past the last pixel are set, so that a reader that expands them shows it.
            for (size_t i = 0; i < usedBytes; ++i) {
                row[i] = char(0xFF);
            }
            for (int x = 0; x < image.width; ++x) {
                const uint8_t index = image.indices[size_t(y) * size_t(image.width) + size_t(x)];
                const int shift = 8 - bitCount * (x % perByte + 1);
                const uint8_t mask = uint8_t(((1u << bitCount) - 1) << shift);
                uint8_t& byte = reinterpret_cast<uint8_t&>(row[size_t(x / perByte)]);
                byte = uint8_t((byte & ~mask) | ((index << shift) & mask));
            }
        });
    return AssembleBmp(image.width, layout.topDown ? -image.height : image.height,
                       uint16_t(bitCount), layout, palette, pixels);
}

// ---- PNG ----

int PngImage::Channels() const {
    switch (colourType) {
        case kPngGrey:
        case kPngPalette:
            return 1;
        case kPngGreyAlpha:
            return 2;
        case kPngRgb:
            return 3;
        default:
            return 4;
    }
}

bool PngImage::HasAlpha() const {
    if ((colourType & 4) != 0) {
        return true;
    }
    return colourType == kPngPalette ? paletteTrns : trnsColour.has_value();
}

namespace {

uint8_t To8(uint16_t v, int depth) {
    if (depth == 16) {
        return uint8_t((uint32_t(v) * 255 + 32767) / 65535);
    }
    return uint8_t(uint32_t(v) * 255 / ((1u << depth) - 1));
}

}  // namespace

RgbaImage PngImage::ToRgba() const {
    RgbaImage image(width, height);
    const int channels = Channels();
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const uint16_t* s = &samples[(size_t(y) * size_t(width) + size_t(x)) * channels];
            uint8_t* p = image.At(x, y);
            switch (colourType) {
                case kPngPalette: {
                    const uint8_t* e = &paletteRgba[size_t(s[0]) * 4];
                    p[0] = e[0];
                    p[1] = e[1];
                    p[2] = e[2];
                    p[3] = paletteTrns ? e[3] : 255;
                    break;
                }
                case kPngGrey:
                case kPngGreyAlpha:
                    p[0] = p[1] = p[2] = To8(s[0], bitDepth);
                    p[3] = colourType == kPngGreyAlpha ? To8(s[1], bitDepth) : 255;
                    if (trnsColour && colourType == kPngGrey && s[0] == (*trnsColour)[0]) {
                        p[3] = 0;
                    }
                    break;
                default:
                    for (int c = 0; c < 3; ++c) {
                        p[c] = To8(s[c], bitDepth);
                    }
                    p[3] = colourType == kPngRgba ? To8(s[3], bitDepth) : 255;
                    if (trnsColour && colourType == kPngRgb && s[0] == (*trnsColour)[0] &&
                        s[1] == (*trnsColour)[1] && s[2] == (*trnsColour)[2]) {
                        p[3] = 0;
                    }
                    break;
            }
        }
    }
    return image;
}

PngImage PatternPngImage(int width, int height, int colourType, int bitDepth, uint32_t seed,
                         bool transparency) {
    std::mt19937 rng(seed);
    PngImage image;
    image.width = width;
    image.height = height;
    image.colourType = colourType;
    image.bitDepth = bitDepth;
    const uint32_t limit = 1u << bitDepth;
    image.samples.resize(size_t(width) * size_t(height) * size_t(image.Channels()));
    for (uint16_t& s : image.samples) {
        s = uint16_t(rng() % limit);
    }
    if (colourType == kPngPalette) {
        image.paletteRgba.resize(size_t(limit) * 4);
        for (uint8_t& b : image.paletteRgba) {
            b = uint8_t(rng());
        }
        image.paletteTrns = transparency;
    } else if (transparency && (colourType & 4) == 0 && !image.samples.empty()) {
        // Every third pixel takes the transparent colour of the first one.
        const int channels = image.Channels();
        image.trnsColour.emplace(image.samples.begin(), image.samples.begin() + channels);
        for (size_t i = 0; i < size_t(width) * size_t(height); i += 3) {
            for (int c = 0; c < channels; ++c) {
                image.samples[i * channels + c] = (*image.trnsColour)[c];
            }
        }
    }
    return image;
}

PngImage PngImageFromRgba(const RgbaImage& rgba, bool withAlpha) {
    PngImage image;
    image.width = rgba.width;
    image.height = rgba.height;
    image.colourType = withAlpha ? kPngRgba : kPngRgb;
    image.bitDepth = 8;
    const int channels = withAlpha ? 4 : 3;
    for (size_t i = 0; i < rgba.rgba.size(); i += 4) {
        for (int c = 0; c < channels; ++c) {
            image.samples.push_back(rgba.rgba[i + c]);
        }
    }
    return image;
}

namespace {

// Everything the jump-protected writer needs, as plain data.
struct PngWriteJob {
    const PngImage* image;
    const PngWriteOptions* options;
    png_bytep* rows;
    png_colorp palette;
    int paletteSize;
    png_bytep trnsAlpha;
    png_color_16 trnsColour;
    bool hasTrns;
};

void AppendToString(png_structp png, png_bytep data, size_t length) {
    static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<char*>(data), length);
}

void NoFlush(png_structp) {}

void QuietError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}
void QuietWarning(png_structp, png_const_charp) {}

// No object with a destructor lives here: libpng may jump out of the calls below.
bool WriteWithJump(png_structp png, png_infop info, const PngWriteJob* job, std::string* out) {
    if (setjmp(png_jmpbuf(png)) != 0) {
        return false;
    }
    png_set_write_fn(png, out, AppendToString, NoFlush);
    const PngImage& image = *job->image;
    png_set_IHDR(png, info, png_uint_32(image.width), png_uint_32(image.height), image.bitDepth,
                 image.colourType,
                 job->options->interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (job->paletteSize > 0) {
        png_set_PLTE(png, info, job->palette, job->paletteSize);
    }
    if (job->hasTrns) {
        png_set_tRNS(png, info, job->trnsAlpha, job->trnsAlpha ? job->paletteSize : 0,
                     &job->trnsColour);
    }
    if (job->options->ancillaryChunks) {
        png_set_gAMA(png, info, 0.45455);
        png_set_pHYs(png, info, 2835, 2835, PNG_RESOLUTION_METER);
        static char key[] = "Comment";
        static char text[] = "made by a test";
        png_text chunk{};
        chunk.compression = PNG_TEXT_COMPRESSION_NONE;
        chunk.key = key;
        chunk.text = text;
        png_set_text(png, info, &chunk, 1);
        png_time when{};
        when.year = 2020;
        when.month = 1;
        when.day = 2;
        png_set_tIME(png, info, &when);
    }
    png_write_info(png, info);
    png_write_image(png, job->rows);
    png_write_end(png, info);
    return true;
}

}  // namespace

std::string MakePng(const PngImage& image, const PngWriteOptions& options) {
    const int channels = image.Channels();
    const size_t bitsPerRow = size_t(image.width) * size_t(channels) * size_t(image.bitDepth);
    const size_t rowBytes = (bitsPerRow + 7) / 8;
    std::vector<uint8_t> data(rowBytes * size_t(image.height), 0);
    std::vector<png_bytep> rows(size_t(image.height));
    for (int y = 0; y < image.height; ++y) {
        uint8_t* row = &data[size_t(y) * rowBytes];
        rows[size_t(y)] = row;
        const size_t count = size_t(image.width) * size_t(channels);
        for (size_t i = 0; i < count; ++i) {
            const uint16_t s = image.samples[size_t(y) * count + i];
            if (image.bitDepth == 16) {
                row[i * 2] = uint8_t(s >> 8);
                row[i * 2 + 1] = uint8_t(s);
            } else if (image.bitDepth == 8) {
                row[i] = uint8_t(s);
            } else {
                const size_t bit = i * size_t(image.bitDepth);
                row[bit / 8] |= uint8_t(s << (8 - image.bitDepth - bit % 8));
            }
        }
    }
    std::vector<png_color> palette;
    std::vector<png_byte> alphas;
    for (size_t i = 0; i + 3 < image.paletteRgba.size(); i += 4) {
        palette.push_back(
            png_color{image.paletteRgba[i], image.paletteRgba[i + 1], image.paletteRgba[i + 2]});
        alphas.push_back(image.paletteRgba[i + 3]);
    }
    PngWriteJob job{};
    job.image = &image;
    job.options = &options;
    job.rows = rows.data();
    job.palette = palette.data();
    job.paletteSize = image.colourType == kPngPalette ? int(palette.size()) : 0;
    if (image.colourType == kPngPalette && image.paletteTrns) {
        job.hasTrns = true;
        job.trnsAlpha = alphas.data();
    } else if (image.trnsColour) {
        job.hasTrns = true;
        const std::vector<uint16_t>& t = *image.trnsColour;
        job.trnsColour.gray = t[0];
        if (t.size() >= 3) {
            job.trnsColour.red = t[0];
            job.trnsColour.green = t[1];
            job.trnsColour.blue = t[2];
        }
    }

    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, QuietError, QuietWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    std::string out;
    const bool ok = info != nullptr && WriteWithJump(png, info, &job, &out);
    png_destroy_write_struct(&png, &info);
    if (!ok) {
        throw std::runtime_error("libpng refused the test picture");
    }
    return out;
}

std::vector<std::string> PngChunkTypes(const std::string& png) {
    static const std::string kSignature = "\x89PNG\r\n\x1a\n";
    std::vector<std::string> types;
    if (png.compare(0, 8, kSignature) != 0) {
        return types;
    }
    size_t pos = 8;
    while (pos + 12 <= png.size()) {
        const uint32_t length =
            uint32_t(uint8_t(png[pos])) << 24 | uint32_t(uint8_t(png[pos + 1])) << 16 |
            uint32_t(uint8_t(png[pos + 2])) << 8 | uint32_t(uint8_t(png[pos + 3]));
        if (length > png.size() - pos - 12) {
            break;
        }
        types.push_back(png.substr(pos + 4, 4));
        pos += 12 + size_t(length);
    }
    return types;
}

PngHeader ParsePngHeader(const std::string& png) {
    PngHeader h;
    if (PngChunkTypes(png).empty() || png.compare(12, 4, "IHDR") != 0 || png.size() < 29) {
        return h;
    }
    auto be32 = [&](size_t o) {
        return uint32_t(uint8_t(png[o])) << 24 | uint32_t(uint8_t(png[o + 1])) << 16 |
               uint32_t(uint8_t(png[o + 2])) << 8 | uint32_t(uint8_t(png[o + 3]));
    };
    h.width = be32(16);
    h.height = be32(20);
    h.bitDepth = uint8_t(png[24]);
    h.colourType = uint8_t(png[25]);
    h.interlace = uint8_t(png[28]);
    return h;
}

FileHandle TempStream(const std::string& bytes) {
    FileHandle file(std::tmpfile());
    if (!file || std::fwrite(bytes.data(), 1, bytes.size(), file.Get()) != bytes.size() ||
        std::fseek(file.Get(), 0, SEEK_SET) != 0) {
        throw std::runtime_error("cannot make a temporary stream");
    }
    return file;
}

std::string EncodeToEntry(CEntryCodec& codec, const std::string& input) {
    FileHandle in = TempStream(input);
    FileHandle archive = TempStream("abc");
    std::fseek(archive.Get(), 0, SEEK_END);
    const int32_t stored = codec.Encode(in.Get(), archive.Get());
    const long end = std::ftell(archive.Get());
    EXPECT_EQ(end, 3 + long(stored)) << "Encode's count is not what it wrote";
    if (stored <= 0) {
        return std::string();
    }
    std::string entry(size_t(stored), '\0');
    std::fseek(archive.Get(), 3, SEEK_SET);
    if (std::fread(entry.data(), 1, entry.size(), archive.Get()) != entry.size()) {
        throw std::runtime_error("cannot read the entry back");
    }
    return entry;
}

std::string EncodeError(CEntryCodec& codec, const std::string& input) {
    try {
        EncodeToEntry(codec, input);
    } catch (const ZokError& e) {
        return e.what();
    }
    return std::string();
}

namespace {

Bitmap Collect(PixelBuffer pixels, const BITMAPINFOHEADER& header, PixelBuffer alpha,
               bool alphaAsked) {
    Bitmap out;
    out.ok = pixels != nullptr;
    out.header = header;
    if (pixels) {
        out.pixels.assign(pixels.get(), pixels.get() + header.biSizeImage);
    }
    out.hasAlpha = alpha != nullptr;
    if (alpha && alphaAsked) {
        const size_t count = size_t(header.biWidth) * size_t(header.biHeight);
        out.alpha.assign(alpha.get(), alpha.get() + count);
    }
    return out;
}

}  // namespace

Bitmap DecodeEntry(CEntryCodec& codec, const std::string& entry, bool wantAlpha) {
    FileHandle in = TempStream(entry);
    BITMAPINFOHEADER header;
    PixelBuffer alpha;
    PixelBuffer pixels = codec.DecodeBitmap(in.Get(), &header, wantAlpha ? &alpha : nullptr);
    return Collect(std::move(pixels), header, std::move(alpha), wantAlpha);
}

Bitmap DecodeFile(const std::string& file, bool wantAlpha) {
    FileHandle in = TempStream(file);
    BITMAPINFOHEADER header;
    PixelBuffer alpha;
    PixelBuffer pixels = DecodePngFile(in.Get(), &header, wantAlpha ? &alpha : nullptr);
    return Collect(std::move(pixels), header, std::move(alpha), wantAlpha);
}

std::string DecodeError(const std::string& file) {
    try {
        DecodeFile(file, true);
    } catch (const ZokError& e) {
        return e.what();
    }
    return std::string();
}

bool ReadInfo(CEntryCodec& codec, const std::string& entry, BITMAPINFOHEADER* header) {
    FileHandle in = TempStream(entry);
    return codec.ReadBitmapInfo(in.Get(), header);
}

}  // namespace zoktest
