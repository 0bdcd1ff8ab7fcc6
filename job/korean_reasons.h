#pragma once

#include <string>
#include <string_view>

#include "job/korean_words.h"
#include "zok/build_archive.h"

namespace zok {

// The windows speak Korean; the library words its reasons in English for the command line.
// These put the library's reasons into the windows' Korean.

// A reason the library gives in English (why an entry is damaged, why an archive cannot be
// read, why a file cannot be written, a system error text), in Korean. Parts that quote
// another reason ("its data cannot be read: No space left on device") are put into Korean
// too. A text it does not know comes back unchanged.
std::string KoreanReason(std::string_view english);

// The reason of a library message "path: reason" (path as the caller gave it), in Korean; a
// message that does not start with path is put into Korean whole.
std::string KoreanReasonOf(std::string_view path, std::string_view english);

// Lines of the form "path: reason" (one a line, as the library joins several problems) with
// each reason put into Korean where it is known; path may itself hold ": ".
std::string KoreanMessageLines(std::string_view english);

// One problem of a build as "path: 한국어 이유".
std::string KoreanBuildProblem(const BuildProblem& problem);

}  // namespace zok
