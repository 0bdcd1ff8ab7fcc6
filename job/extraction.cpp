#include "job/extraction.h"

#include "job/formatting.h"
#include "job/korean_words.h"

namespace zok {

std::string OverwriteQuestion(const ExtractItem& item) {
    return PrintableText(item.writesTo) + "\n파일이 이미 있습니다. 바꾸시겠습니까?";
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
