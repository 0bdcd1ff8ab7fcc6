#include "job/entry_listing.h"

#include <cstdio>

#include "io/names.h"
#include "job/formatting.h"
#include "job/korean_words.h"
#include "zok/zok_file.h"

namespace zok {

std::string KindWord(uint8_t kind, std::string_view rawName) {
    switch (kind) {
        case 0:
        case 1:
            return "비트맵";
        case 2:
            return "그림 PNG";
        case 3:
            return EqualsNoCase(KindName(rawName), "old") ? "저장" : "압축";
        default:
            return "알 수 없음 (" + std::to_string(kind) + ")";
    }
}

bool IsPictureKind(uint8_t kind) {
    return kind == 1 || kind == 2;
}

std::optional<double> StoredPercent(uint32_t sourceSize, uint32_t storedSize) {
    if (sourceSize == 0) {
        return std::nullopt;
    }
    return 100.0 * double(storedSize) / double(sourceSize);
}

std::string PercentText(std::optional<double> percent) {
    if (!percent) {
        return "-";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f%%", *percent);
    return text;
}

void MarkEntry(EntryRow& row, const Error& problem) {
    row.mark = !problem                                 ? EntryMark::Sound
               : problem.code == ErrorCode::HoldsNoData ? EntryMark::HoldsNoData
                                                        : EntryMark::Damaged;
    row.problem = problem ? KoreanReason(problem) : std::string();
}

std::vector<EntryRow> ListEntries(const CZokFile& zok) {
    std::vector<EntryRow> rows(zok.Count());
    for (size_t i = 0; i < rows.size(); ++i) {
        const EntryRecord record = zok.Record(i);
        EntryRow& row = rows[i];
        row.index = i;
        row.name = PrintableText(record.name);
        row.kind = uint8_t(record.kind);
        row.kindWord = KindWord(row.kind, zok.RawName(i));
        row.sourceSize = record.sourceSize;
        row.storedSize = record.storedSize;
        MarkEntry(row, zok.EntryProblem(i));
    }
    return rows;
}

std::string VersionText(std::string_view version) {
    std::string out;
    for (const char c : version) {
        if (!out.empty()) {
            out.push_back('.');
        }
        out.push_back(c);
    }
    return PrintableText(out);
}

std::string ListingStatus(const std::vector<EntryRow>& rows, std::string_view version,
                          size_t shown) {
    uint64_t source = 0;
    uint64_t stored = 0;
    for (const EntryRow& row : rows) {
        source += row.sourceSize;
        stored += row.storedSize;
    }
    std::string text = "항목 " + FormatNumber(uint64_t(rows.size())) + "개";
    if (shown < rows.size()) {
        text += " (" + FormatNumber(uint64_t(shown)) + "개 표시)";
    }
    return text + " · 원래 크기 " + FormatNumber(source) + " byte · 압축 크기 " +
           FormatNumber(stored) + " byte · 버전 " + VersionText(version);
}

}  // namespace zok
