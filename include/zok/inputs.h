#pragma once

#include <string>
#include <vector>

#include "zok/error.h"
#include "zok/export.h"

namespace zok {

// The files that a program packs when its user names files and folders, as `zok create` and
// the desktop program's Add take them.
//
// The format stores file names only: a file in a subfolder becomes an entry of its own name
// ("sub/level1.dat" is "level1.dat"), so folders flatten, and two files of one name (letter
// case ignored, as lookups compare) would give two entries of which only the first can be
// found by name. FindNameClashes names such files before anything is written.

// The files that paths give, in packing order.
struct InputFiles {
    std::vector<std::string> files;
    // Folders that could not be read whole: CannotRead with the folder as path and errno.
    std::vector<Error> problems;
};

// Each path as it is, except a folder: it gives its files and those of its subfolders, sorted
// by path (a link to a folder is not followed; a link to a file is a file).
ZOK_API InputFiles ExpandInputFolders(const std::vector<std::string>& paths);

// One DuplicateName error for every file whose entry name an earlier file of files gives
// already (letter case ignored): path is the later file, entry its name, and detail the
// earlier file that gives the name first. In the order of files; empty when every name is
// unique.
ZOK_API std::vector<Error> FindNameClashes(const std::vector<std::string>& files);

}  // namespace zok
