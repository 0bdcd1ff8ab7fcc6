#include "job/extraction.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <unordered_set>

#include "archive/bmp_writer.h"
#include "io/atomic_file.h"
#include "io/names.h"
#include "io/regular_file.h"
#include "io/system_reason.h"
#include "job/formatting.h"
#include "job/korean_reasons.h"
#include "zok/zok_file.h"

namespace zok {

namespace {

constexpr size_t kPiece = 256 << 10;

bool WritesAsBmp(const CZokFile& zok, size_t index) {
    return zok.Record(index).kind == EntryKind::PngStream &&
           EqualsNoCase(KindName(zok.RawName(index)), "bmp");
}

// Reads and writes one item; "" when its file is in place, else why not (Korean).
class ItemWriter {
public:
    ItemWriter(const CZokFile& zok, const std::atomic<bool>* cancel,
               const std::function<void(uint64_t)>& progress, uint64_t& done)
        : m_zok(zok), m_cancel(cancel), m_progress(progress), m_done(done) {}

    bool Cancelled() const { return m_cancelled; }
    // Why the last item was found damaged (Korean), or "" when it was not.
    const std::string& Damage() const { return m_damage; }

    std::string Write(const ExtractItem& item) {
        m_damage.clear();
        if (m_zok.HoldsNoData(item.index)) {
            return KoreanReason(kHoldsNoDataMessage);
        }
        AtomicFile out;
        std::string error;
        if (!out.Create(item.target, &error)) {
            return KoreanReasonOf(item.target, error);
        }
        const std::string why = WritesAsBmp(m_zok, item.index) ? WriteBmp(item, out.Get())
                                                               : WriteContent(item, out.Get());
        if (!why.empty() || m_cancelled) {
            return why;
        }
        if (!out.Commit(&error, false, item.replace)) {
            return KoreanReasonOf(item.target, error);
        }
        return "";
    }

private:
    std::string WriteContent(const ExtractItem& item, FILE* file) {
        const std::unique_ptr<EntryReader> reader = m_zok.OpenEntry(item.index);
        if (!reader->Error().empty()) {
            return Damaged(reader->Error());
        }
        std::unique_ptr<uint8_t[]> piece(new (std::nothrow) uint8_t[kPiece]);
        if (!piece) {
            return "메모리가 모자랍니다";
        }
        for (;;) {
            if (m_cancel != nullptr && m_cancel->load()) {
                m_cancelled = true;
                return "";
            }
            const size_t got = reader->Read(piece.get(), kPiece);
            if (got == 0) {
                break;
            }
            errno = 0;
            if (std::fwrite(piece.get(), 1, got, file) != got) {
                return KoreanSystemReason(errno != 0 ? errno : EIO);
            }
            Advance(got);
        }
        return reader->Complete() ? "" : Damaged(reader->Error());
    }

    std::string WriteBmp(const ExtractItem& item, FILE* file) {
        if (std::optional<std::string> problem = m_zok.EntryProblem(item.index)) {
            return Damaged(*problem);
        }
        BITMAPINFOHEADER header;
        PixelBuffer alpha;
        PixelBuffer pixels;
        try {
            pixels = m_zok.DecodeEntryBitmapAt(item.index, &header, &alpha);
        } catch (const std::bad_alloc&) {
            return "그림을 풀 메모리가 모자랍니다";
        } catch (const std::exception& e) {
            return Damaged(e.what());
        }
        if (!pixels || header.biWidth <= 0 || header.biHeight <= 0) {
            return Damaged("its picture cannot be decoded");
        }
        const size_t width = size_t(header.biWidth);
        // With an alpha plane the colour rows are packed; without one they are padded.
        const size_t rowBytes = alpha ? width * 3 : ((width * 24 + 31) / 32) * 4;
        const std::optional<std::string> bmp =
            EncodeBmp24(header.biWidth, header.biHeight, pixels.get(), rowBytes);
        if (!bmp) {
            return "그림이 너무 커서 BMP 파일에 담을 수 없습니다";
        }
        errno = 0;
        if (std::fwrite(bmp->data(), 1, bmp->size(), file) != bmp->size()) {
            return KoreanSystemReason(errno != 0 ? errno : EIO);
        }
        Advance(item.bytes);
        return "";
    }

    std::string Damaged(const std::string& english) {
        m_damage = KoreanReason(english);
        return "손상된 항목입니다: " + m_damage;
    }

    void Advance(uint64_t bytes) {
        m_done += bytes;
        if (m_progress) {
            m_progress(m_done);
        }
    }

    const CZokFile& m_zok;
    const std::atomic<bool>* m_cancel;
    const std::function<void(uint64_t)>& m_progress;
    uint64_t& m_done;
    bool m_cancelled = false;
    std::string m_damage;
};

}  // namespace

std::string RefusedNameReason(std::string_view name) {
    switch (RefuseAsFileName(name)) {
        case NameRefusal::None:
            break;
        case NameRefusal::Empty:
            return "이름이 비어 있습니다";
        case NameRefusal::FolderReference:
            return "이름이 폴더를 가리킵니다";
        case NameRefusal::Separator:
            return "이름에 폴더 구분자(/)가 있습니다";
        case NameRefusal::NulByte:
            return "이름에 NUL 바이트가 있습니다";
    }
    return "";
}

std::vector<ExtractItem> PlanExtraction(const CZokFile& zok, const std::vector<size_t>& indices,
                                        const std::string& folder) {
    std::vector<ExtractItem> items;
    items.reserve(indices.size());
    std::unordered_set<std::string> planned;
    for (const size_t index : indices) {
        ExtractItem item;
        item.index = index;
        item.name = zok.Record(index).name;
        item.refused = RefusedNameReason(item.name);
        item.bytes =
            WritesAsBmp(zok, index) ? zok.Record(index).storedSize : zok.GetEntrySizeAt(index);
        if (item.refused.empty()) {
            item.target = folder + "/" + item.name;
            item.taken = !planned.insert(item.name).second || NameTaken(item.target);
        }
        items.push_back(std::move(item));
    }
    return items;
}

void AnswerOverwrites(std::vector<ExtractItem>& items,
                      const std::function<OverwriteAnswer(const ExtractItem&)>& ask) {
    bool all = false;
    for (ExtractItem& item : items) {
        if (!item.taken || !item.refused.empty()) {
            continue;
        }
        const OverwriteAnswer answer = all ? OverwriteAnswer::Yes : ask(item);
        all = all || answer == OverwriteAnswer::YesToAll;
        item.replace = answer != OverwriteAnswer::No;
        item.skip = answer == OverwriteAnswer::No;
    }
}

std::string OverwriteQuestion(const ExtractItem& item) {
    return PrintableText(item.target) + "\n파일이 이미 있습니다. 바꾸시겠습니까?";
}

uint64_t BytesToExtract(const std::vector<ExtractItem>& items) {
    uint64_t total = 0;
    for (const ExtractItem& item : items) {
        total += item.refused.empty() && !item.skip ? item.bytes : 0;
    }
    return total;
}

ExtractionResult ExtractItems(const CZokFile& zok, const std::vector<ExtractItem>& items,
                              const std::atomic<bool>* cancel,
                              const std::function<void(uint64_t)>& progress) {
    ExtractionResult result;
    uint64_t done = 0;
    ItemWriter writer(zok, cancel, progress, done);
    std::vector<std::string> created;
    for (const ExtractItem& item : items) {
        if (!item.refused.empty()) {
            result.failures.push_back(PrintableText(item.name) + ": " + item.refused);
            continue;
        }
        if (item.skip) {
            continue;
        }
        if (cancel != nullptr && cancel->load()) {
            result.cancelled = true;
            break;
        }
        const std::string why = writer.Write(item);
        if (writer.Cancelled()) {
            result.cancelled = true;
            break;
        }
        if (!why.empty()) {
            result.failures.push_back(PrintableText(item.name) + ": " + why);
            if (!writer.Damage().empty()) {
                result.damaged.emplace_back(item.index, writer.Damage());
            }
            continue;
        }
        result.written.push_back(item.target);
        if (!item.replace) {
            created.push_back(item.target);
        }
    }
    if (result.cancelled) {
        for (const std::string& path : created) {
            std::remove(path.c_str());
        }
        result.written.clear();
    }
    return result;
}

}  // namespace zok
