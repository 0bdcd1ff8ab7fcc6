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

// One line for an item that was not written: "name: 이유".
std::string ExtractionFailureLine(const ExtractItem& item, const Error& error);

}  // namespace zok
