#include "archive/entry_equality.h"

#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <string_view>
#include <vector>

#include "codecs/bmp_codec.h"
#include "codecs/png_rows.h"
#include "zok/zok_file.h"

namespace zok {

namespace {

constexpr size_t kPiece = 256 << 10;

// A row's fingerprint: two independent 64-bit hashes of its bytes.
struct RowPrint {
    uint64_t a = 0;
    uint64_t b = 0;
    bool operator==(const RowPrint&) const = default;
};

RowPrint Print(const uint8_t* bytes, size_t size) {
    uint64_t fnv = 1469598103934665603ull;
    for (size_t i = 0; i < size; ++i) {
        fnv = (fnv ^ bytes[i]) * 1099511628211ull;
    }
    const uint64_t other =
        std::hash<std::string_view>()(std::string_view(reinterpret_cast<const char*>(bytes), size));
    return RowPrint{fnv, other};
}

// The rows a picture input becomes, as the codec that encodes it reads them: red first, top row
// first, alpha when the picture has it.
struct InputPicture {
    uint32_t width = 0;
    uint32_t height = 0;
    bool alpha = false;
    std::vector<RowPrint> rows;
};

bool ReadInputPicture(FILE* input, CCodecTable::Slot codec, uint64_t limit, InputPicture* out) {
    if (codec == CCodecTable::kBmp) {
        BmpPixels bmp;
        if (!ReadBmpPixels(input, &bmp) || uint64_t(bmp.width) * bmp.height > limit) {
            return false;
        }
        out->width = bmp.width;
        out->height = bmp.height;
        std::vector<uint8_t> row(size_t(bmp.width) * 3);
        for (uint32_t y = 0; y < bmp.height; ++y) {
            std::memcpy(row.data(), bmp.rows[y], row.size());
            if (bmp.bgr) {
                for (size_t x = 0; x < bmp.width; ++x) {
                    std::swap(row[x * 3], row[x * 3 + 2]);
                }
            }
            out->rows.push_back(Print(row.data(), row.size()));
        }
        return true;
    }
    const Error error = ReadPngRows(
        input, true, false, limit,
        [out](const RowShape& shape) {
            out->width = shape.width;
            out->height = shape.height;
            out->alpha = shape.alpha;
            out->rows.reserve(shape.height);
            return true;
        },
        [out](uint32_t, const uint8_t* row) {
            out->rows.push_back(Print(row, size_t(out->width) * (out->alpha ? 4 : 3)));
            return true;
        });
    return !error;
}

bool SamePicture(const CZokFile& zok, size_t index, FILE* input, CCodecTable::Slot codec) {
    InputPicture picture;
    if (!ReadInputPicture(input, codec, zok.PictureLimit(), &picture)) {
        return false;
    }
    bool same = true;
    const Error error = zok.ReadPictureRows(
        index, PixelOrder::Rgb, true,
        [&](const PictureInfo& info) {
            same = info.width == picture.width && info.height == picture.height &&
                   info.hasAlpha == picture.alpha;
            return same;
        },
        [&](uint32_t y, const uint8_t* row) {
            same = Print(row, size_t(picture.width) * (picture.alpha ? 4 : 3)) == picture.rows[y];
            return same;
        });
    return same && !error;
}

bool SameBytes(const CZokFile& zok, size_t index, FILE* input) {
    std::unique_ptr<uint8_t[]> mine(new (std::nothrow) uint8_t[kPiece]);
    if (!mine) {
        return false;
    }
    bool same = true;
    const Error error = DrainEntry(
        *zok.OpenEntry(index),
        [&](const uint8_t* bytes, size_t size) {
            same = std::fread(mine.get(), 1, size, input) == size &&
                   std::memcmp(mine.get(), bytes, size) == 0;
            return same;
        },
        nullptr, kPiece);
    // The input must end where the entry does.
    return same && !error && std::fgetc(input) == EOF;
}

}  // namespace

bool SameContent(const CZokFile& zok, size_t index, FILE* input, uint64_t size,
                 const EntryKindRule& rule) {
    if (index >= zok.Count() || zok.EntryProblem(index)) {
        return false;
    }
    const EntryDescription entry = zok.Describe(index);
    // The entry must be what this input would be written as, and of the input's size.
    const ContentKind expected = rule.kind == EntryKind::PngStream    ? ContentKind::PngPicture
                                 : rule.codec == CCodecTable::kStored ? ContentKind::Stored
                                                                      : ContentKind::Deflated;
    if (entry.content != expected || entry.kind != rule.kind || entry.sourceSize != size) {
        return false;
    }
    return entry.picture ? SamePicture(zok, index, input, rule.codec)
                         : SameBytes(zok, index, input);
}

}  // namespace zok
