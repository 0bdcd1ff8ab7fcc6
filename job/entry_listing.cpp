#include "job/entry_listing.h"

#include <cstdio>

#include "job/formatting.h"
#include "job/korean_words.h"
#include "zok/zok_file.h"

namespace zok {

std::string KindWord(const EntryDescription& entry) {
    switch (entry.content) {
        case ContentKind::PngPicture:
            return "그림 PNG";
        case ContentKind::StoredBitmap:
            return "비트맵";
        case ContentKind::Stored:
            return "저장";
        case ContentKind::Deflated:
            return "압축";
        case ContentKind::Unknown:
            break;
    }
    return "알 수 없음 (" + std::to_string(unsigned(entry.kind)) + ")";
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
        const EntryDescription entry = zok.Describe(i);
        EntryRow& row = rows[i];
        row.index = i;
        row.name = PrintableText(entry.name);
        row.kind = uint8_t(entry.kind);
        row.kindWord = KindWord(entry);
        row.picture = entry.picture;
        row.sourceSize = entry.sourceSize;
        row.storedSize = entry.storedSize;
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
