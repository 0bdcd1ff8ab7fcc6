// CZokFile's picture operations for game code and for the programs: rows decoded one at a time,
// so that what a picture costs in memory is a row, not the picture.

#include <cstring>
#include <new>

#include "archive/zok_directory.h"
#include "codecs/png_rows.h"
#include "zok/zok_file.h"

namespace zok {

namespace {

// A stored bitmap (an entry of kind 1, from 1.0.0 archives) is decoded whole by its codec and
// then handed out row by row; the picture limit bounds it first.
Error StoredBitmapRows(CEntryCodec& codec, FILE* stream, uint64_t limit, PixelOrder order,
                       const std::function<bool(const PictureInfo&)>& begin,
                       const std::function<bool(uint32_t, const uint8_t*)>& row) {
    BITMAPINFOHEADER header;
    if (!codec.ReadBitmapInfo(stream, &header) || header.biWidth <= 0 || header.biHeight <= 0) {
        return MakeError(ErrorCode::PictureDamaged);
    }
    if (uint64_t(header.biWidth) * uint64_t(header.biHeight) > limit) {
        Error error = MakeError(ErrorCode::PictureTooLarge);
        error.number = limit;
        return error;
    }
    if (fseeko(stream, 0, SEEK_SET) != 0) {
        return MakeError(ErrorCode::PictureDamaged);
    }
    const PixelBuffer pixels = codec.DecodeBitmap(stream, &header, nullptr);
    if (!pixels || header.biWidth <= 0 || header.biHeight <= 0) {
        return MakeError(ErrorCode::PictureDamaged);
    }
    const uint32_t width = uint32_t(header.biWidth);
    const uint32_t height = uint32_t(header.biHeight);
    if (!begin(PictureInfo{width, height, false})) {
        return MakeError(ErrorCode::Cancelled);
    }
    const size_t stride = size_t(BitmapRowBytes(width, 24));
    std::unique_ptr<uint8_t[]> line(new (std::nothrow) uint8_t[size_t(width) * 3]);
    if (!line) {
        return MakeError(ErrorCode::OutOfMemory);
    }
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* from = pixels.get() + size_t(height - 1 - y) * stride;
        std::memcpy(line.get(), from, size_t(width) * 3);
        if (order == PixelOrder::Rgb) {
            for (size_t x = 0; x < width; ++x) {
                std::swap(line[x * 3], line[x * 3 + 2]);
            }
        }
        if (!row(y, line.get())) {
            return MakeError(ErrorCode::Cancelled);
        }
    }
    return Error();
}

}  // namespace

void CZokFile::SetPictureLimit(uint64_t maxPixels) {
    m_directory->pictureLimit.store(maxPixels);
}

uint64_t CZokFile::PictureLimit() const {
    return m_directory->pictureLimit.load();
}

Error CZokFile::ReadPictureRows(size_t index, PixelOrder order, bool keepAlpha,
                                const std::function<bool(const PictureInfo&)>& begin,
                                const std::function<bool(uint32_t, const uint8_t*)>& row,
                                const std::atomic<bool>* cancel) const {
    Error error = EntryProblem(index);
    if (!error) {
        const CompactRecord& r = m_directory->entries[index];
        const EntryReadRule rule = *m_directory->Rule(r);
        const auto guardedRow = [&](uint32_t y, const uint8_t* pixels) {
            return !(cancel != nullptr && cancel->load(std::memory_order_relaxed)) &&
                   row(y, pixels);
        };
        EntrySource source = m_directory->Source(r);
        try {
            FileHandle stream = OpenEntryStream(source);
            if (!rule.picture) {
                error = MakeError(ErrorCode::NotAPicture);
            } else if (!stream) {
                error = MakeError(ErrorCode::OutOfMemory);
            } else if (r.kind == EntryKind::PngStream) {
                error = ReadPngRows(
                    stream.Get(), keepAlpha, order == PixelOrder::Bgr, PictureLimit(),
                    [&](const RowShape& shape) {
                        return begin(PictureInfo{shape.width, shape.height, shape.alpha});
                    },
                    guardedRow);
            } else {
                error = StoredBitmapRows(*m_directory->codecs.At(rule.codec), stream.Get(),
                                         PictureLimit(), order, begin, guardedRow);
            }
        } catch (const std::bad_alloc&) {
            error = MakeError(ErrorCode::OutOfMemory);
        }
        if (error.code == ErrorCode::PictureDamaged && source.Failed()) {
            error = MakeError(ErrorCode::CannotRead, "", "", source.ErrorNumber());
        }
        error.path = m_directory->path;
        error.entry = Record(index).name;
    }
    return error;
}

Error CZokFile::DecodePictureAt(size_t index, Picture* picture) const {
    *picture = Picture();
    Error error;
    try {
        error = ReadPictureRows(
            index, PixelOrder::Rgb, true,
            [picture](const PictureInfo& info) {
                picture->width = info.width;
                picture->height = info.height;
                picture->channels = info.hasAlpha ? 4 : 3;
                picture->stride = size_t(info.width) * picture->channels;
                picture->pixels.resize(picture->stride * info.height);
                return true;
            },
            [picture](uint32_t y, const uint8_t* row) {
                std::memcpy(picture->pixels.data() + size_t(y) * picture->stride, row,
                            picture->stride);
                return true;
            });
    } catch (const std::bad_alloc&) {
        error = MakeError(ErrorCode::OutOfMemory, m_directory->path, Record(index).name);
    }
    if (error) {
        *picture = Picture();
    }
    return error;
}

Error CZokFile::DecodePicture(std::string_view name, Picture* picture) const {
    const std::optional<size_t> index = Find(name);
    if (!index) {
        *picture = Picture();
        return MakeError(ErrorCode::NoSuchEntry, m_directory->path, std::string(name));
    }
    return DecodePictureAt(*index, picture);
}

}  // namespace zok
