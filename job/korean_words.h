#pragma once

#include <string>

#include "zok/error.h"

namespace zok {

// The desktop program's Korean for the library's error codes: one table over the codes, as the
// command line has its English one.

// The system's reason behind an errno value, in Korean.
std::string KoreanSystemReason(int errorNumber);

// Why, in Korean, without the file or entry it concerns.
std::string KoreanReason(const Error& error);

// True for the codes that say an entry's data is damaged (as opposed to a failure to write it
// somewhere, or an entry that holds no data).
bool IsEntryDamage(ErrorCode code);

}  // namespace zok
