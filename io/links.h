#pragma once

#include <string>

namespace zok {

// The path a chain of symbolic links starting at path leads to (path itself when it is no
// link), whether or not the last file exists. False with *error at a loop or unreadable link.
bool FollowLinks(const std::string& path, std::string* resolved, int* error);

}  // namespace zok
