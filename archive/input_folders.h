#pragma once

#include <string>

#include "zok/inputs.h"

namespace zok {

// Appends the files under folder, subfolders included and sorted by path (links to folders are
// not followed), to inputs; a folder that cannot be read whole is one of its problems.
void WalkInputFolder(const std::string& folder, InputFiles& inputs);

}  // namespace zok
