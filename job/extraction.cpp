#include "job/extraction.h"

#include "job/formatting.h"
#include "job/korean_words.h"

namespace zok {

std::string OverwriteQuestion(const ExtractItem& item) {
    return PrintableText(item.writesTo) + "\n파일이 이미 있습니다. 바꾸시겠습니까?";
}

std::string ExtractionSummary(const ExtractResult& result, const std::string& folder) {
    const auto count = [](size_t n) { return FormatNumber(uint64_t(n)) + "개"; };
    const std::string where = PrintableText(folder) + "에 풀었습니다";
    if (result.written == result.items.size()) {
        return "항목 " + count(result.written) + "를 " + where + ".";
    }
    std::string text =
        "항목 " + count(result.items.size()) + " 중 " + count(result.written) + "를 " + where;
    std::string also;
    if (result.skipped > 0) {
        also = "건너뜀 " + count(result.skipped);
    }
    if (result.failed > 0) {
        also += (also.empty() ? "" : ", ") + std::string("실패 ") + count(result.failed);
    }
    return text + (also.empty() ? "" : " (" + also + ")") + ".";
}

std::string ExtractionFailureLine(const ExtractItem& item, const Error& error) {
    std::string why = KoreanReason(error);
    if (IsEntryDamage(error.code)) {
        why = "손상된 항목입니다: " + why;
    } else if (error.code == ErrorCode::LinkLeadsOut || error.code == ErrorCode::AlreadyExists ||
               error.code == ErrorCode::CannotWrite) {
        why = PrintableText(error.path) + ": " + why;
    }
    return PrintableText(item.name) + ": " + why;
}

}  // namespace zok
