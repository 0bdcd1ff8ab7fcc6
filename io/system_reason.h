#pragma once

#include <string>

namespace zok {

// The errno text for a failed system call, as the user sees it.
std::string SystemReason(int errorNumber);

}  // namespace zok
