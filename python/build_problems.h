#pragma once

#include <string>

#include "zok/build_archive.h"
#include "zok/error.h"

namespace zokpy {

// Why a build failed, as the error the module raises: the first problem's code, file and errno
// (the build checks every input first, so there may be more: the message names them all).
zok::Error BuildFailure(const zok::BuildReport& report);

// Every problem of the build, one line each, for the exception's message.
std::string BuildFailureText(const zok::BuildReport& report);

}  // namespace zokpy
