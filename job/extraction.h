#pragma once

#include <string>

#include "zok/error.h"
#include "zok/extract.h"

namespace zok {

// The desktop program's words around the library's extraction (zok/extract.h), which it runs
// as the command line does.

// The question asked about an item whose name is taken; it names the file that would be
// written (a link in the folder followed).
std::string OverwriteQuestion(const ExtractItem& item);

// The status line after an extraction into folder: the entries written and, when not all were,
// of how many, with those skipped (an existing file kept) and those that failed: "항목 5개를
// F에 풀었습니다." or "항목 13개 중 12개를 F에 풀었습니다 (건너뜀 1개)."
std::string ExtractionSummary(const ExtractResult& result, const std::string& folder);

// One line for an item that was not written: "name: 이유".
std::string ExtractionFailureLine(const ExtractItem& item, const Error& error);

}  // namespace zok
