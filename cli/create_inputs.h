#pragma once

#include <string>
#include <vector>

#include "zok/error.h"

// The inputs of `zok create` as the user named them, made into the list of files to pack.
struct CreateInputs {
    std::vector<std::string> files;     // in packing order
    std::vector<std::string> warnings;  // the skipped own archive
    std::vector<zok::Error> problems;   // folders that cannot be walked
    std::vector<zok::Error> clashes;    // files whose entry name an earlier file gives
};

// Folders are walked (zok::ExpandInputFolders: their files, and those of their subfolders, in
// sorted order); a ZOK archive among the inputs that is the output itself (the `*` habit) is
// skipped (output may be empty: no such file); every file whose entry name an earlier one gives
// already (letter case ignored) is a clash.
CreateInputs GatherCreateInputs(const std::vector<std::string>& named, const std::string& output);
