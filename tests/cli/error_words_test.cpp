#include <gtest/gtest.h>

#include <regex>

#include "cli/error_words.h"
#include "job/korean_words.h"

using namespace zok;

namespace {

// Every code the library can report is worded by both programs from their own tables: a code
// added without its words falls back to "error N" / "오류 N", and the Korean never shows an
// English word (abbreviations such as PNG, BMP, GiB and CP949 may stay).
TEST(ErrorWords, EveryCodeIsWordedInEnglishAndInKorean) {
    const std::regex englishWord("[a-z]{2,}");
    int worded = 0;
    for (unsigned n = 1; n < unsigned(ErrorCode::EndOfCodes); ++n) {
        Error error = MakeError(ErrorCode(n), "/a/b.zok", "entry.txt", 28);
        if (std::string(ErrorCodeName(error.code)) == "unknown") {
            continue;  // a number no code has
        }
        ++worded;
        const std::string english = ErrorReason(error);
        const std::string korean = KoreanReason(error);
        EXPECT_NE(english, "error " + std::to_string(n)) << ErrorCodeName(error.code);
        EXPECT_NE(korean, "오류 " + std::to_string(n)) << ErrorCodeName(error.code);
        EXPECT_FALSE(std::regex_search(korean, englishWord)) << korean;
    }
    EXPECT_GE(worded, 50);
    // The system's reason comes out in the program's language.
    const Error full = MakeError(ErrorCode::CannotWrite, "/a/out.txt", "", 28);
    EXPECT_EQ(DescribeError(full), "/a/out.txt: cannot be written: No space left on device");
    EXPECT_EQ(KoreanReason(full), "쓸 수 없습니다: 디스크에 남은 공간이 없습니다");
}

}  // namespace
