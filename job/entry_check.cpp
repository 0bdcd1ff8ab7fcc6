#include "job/entry_check.h"

#include <exception>
#include <memory>
#include <new>

#include "zok/zok_file.h"

namespace zok {

namespace {

// Pieces in which entries are read: progress and cancel are looked at after each.
constexpr size_t kPiece = 256 << 10;

}  // namespace

EntryCheck CheckEntry(const CZokFile& zok, size_t index, const std::atomic<bool>* cancel,
                      const std::function<void(uint64_t)>& onBytes) {
    EntryCheck check;
    if (zok.HoldsNoData(index)) {
        check.mark = EntryMark::HoldsNoData;
        check.problem = kHoldsNoDataMessage;
        return check;
    }
    const std::unique_ptr<EntryReader> reader = zok.OpenEntry(index);
    std::unique_ptr<uint8_t[]> piece(new (std::nothrow) uint8_t[kPiece]);
    if (!piece) {
        check.mark = EntryMark::Damaged;
        check.problem = "not enough memory to read it";
        return check;
    }
    while (reader->Error().empty()) {
        if (cancel != nullptr && cancel->load()) {
            check.cancelled = true;
            return check;
        }
        const size_t got = reader->Read(piece.get(), kPiece);
        if (got == 0) {
            break;
        }
        if (onBytes) {
            onBytes(got);
        }
    }
    if (!reader->Complete()) {
        check.mark = EntryMark::Damaged;
        check.problem = reader->Error();
        return check;
    }
    if (IsPictureKind(uint8_t(zok.Record(index).kind))) {
        BITMAPINFOHEADER header;
        PixelBuffer alpha;
        try {
            if (!zok.DecodeEntryBitmapAt(index, &header, &alpha)) {
                check.mark = EntryMark::Damaged;
                check.problem = "its picture cannot be decoded";
            }
        } catch (const std::bad_alloc&) {
            check.mark = EntryMark::Damaged;
            check.problem = "not enough memory to decode its picture";
        } catch (const std::exception& e) {
            check.mark = EntryMark::Damaged;
            check.problem = e.what();
        }
    }
    return check;
}

ArchiveCheck CheckEntries(const CZokFile& zok, const std::atomic<bool>* cancel,
                          const std::function<void(uint64_t)>& progress) {
    ArchiveCheck result;
    uint64_t done = 0;
    for (size_t i = 0; i < zok.Count(); ++i) {
        EntryCheck check = CheckEntry(zok, i, cancel, [&](uint64_t bytes) {
            done += bytes;
            if (progress) {
                progress(done);
            }
        });
        if (check.cancelled || (cancel != nullptr && cancel->load())) {
            result.cancelled = true;
            break;
        }
        result.entries.emplace_back(i, std::move(check));
    }
    return result;
}

uint64_t ContentBytes(const CZokFile& zok) {
    uint64_t total = 0;
    for (size_t i = 0; i < zok.Count(); ++i) {
        total += zok.GetEntrySizeAt(i);
    }
    return total;
}

}  // namespace zok
