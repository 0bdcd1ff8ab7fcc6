#include "archive/entry_output.h"

#include <cerrno>
#include <memory>

#include "archive/bmp_writer.h"
#include "archive/entry_kinds.h"
#include "zok/zok_file.h"

namespace zok {

uint64_t EntryFileBytes(const CZokFile& archive, size_t index) {
    if (index >= archive.Count()) {
        return 0;
    }
    const EntryRecord record = archive.Record(index);
    return ExtractsAsBmp(record.kind, archive.RawName(index)) ? record.storedSize
                                                              : archive.GetEntrySizeAt(index);
}

Error WritePictureFiles(const CZokFile& archive, size_t index, int bmpFd, int pgmFd,
                        const std::atomic<bool>* cancel,
                        const std::function<void(uint64_t)>& onBytes) {
    BmpRowWriter bmp;
    PgmRowWriter pgm;
    Error written;  // the first write failure: the decoding stops there
    size_t pixelBytes = 3;
    uint32_t height = 1;
    uint64_t reported = 0;
    const uint64_t bytes = EntryFileBytes(archive, index);
    const Error decoded = archive.ReadPictureRows(
        index, PixelOrder::Bgr, pgmFd >= 0,
        [&](const PictureInfo& info) {
            pixelBytes = info.hasAlpha ? 4 : 3;
            height = info.height;
            written = bmp.Begin(bmpFd, info.width, info.height);
            if (!written && pgmFd >= 0) {
                written = pgm.Begin(pgmFd, info.width, info.height);
            }
            return !written;
        },
        [&](uint32_t y, const uint8_t* row) {
            written = bmp.Row(y, row, pixelBytes);
            if (!written && pgmFd >= 0) {
                written = pgm.Row(y, row, pixelBytes);
            }
            // The stored stream is read as the rows come: progress follows the rows.
            const uint64_t now = bytes * (uint64_t(y) + 1) / height;
            if (onBytes && now > reported) {
                onBytes(now - reported);
                reported = now;
            }
            return !written;
        },
        cancel);
    if (written) {
        return written;
    }
    if (decoded) {
        return decoded;
    }
    return bmp.Finish();
}

Error WriteEntryFile(const CZokFile& archive, size_t index, FILE* out,
                     const std::atomic<bool>* cancel,
                     const std::function<void(uint64_t)>& onBytes) {
    if (ExtractsAsBmp(archive.Record(index).kind, archive.RawName(index))) {
        return WritePictureFiles(archive, index, ::fileno(out), -1, cancel, onBytes);
    }
    int writeError = 0;
    const std::unique_ptr<EntryReader> reader = archive.OpenEntry(index);
    Error error = DrainEntry(
        *reader,
        [&](const uint8_t* bytes, size_t size) {
            errno = 0;
            if (std::fwrite(bytes, 1, size, out) != size) {
                writeError = errno != 0 ? errno : EIO;
                return false;
            }
            if (onBytes) {
                onBytes(size);
            }
            return true;
        },
        cancel);
    if (writeError != 0) {
        return MakeError(ErrorCode::CannotWrite, "", "", writeError);
    }
    return error;
}

}  // namespace zok
