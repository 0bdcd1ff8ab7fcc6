#pragma once

#include <string>
#include <vector>

#include "zok/error.h"
#include "zok/inputs.h"

// The inputs of `zok create` as the user named them, made into the files to pack.
struct CreateInputs {
    zok::InputSet set;                  // the files, opened for the build
    std::vector<std::string> warnings;  // the skipped own archive
    std::vector<zok::Error> clashes;    // files whose entry name an earlier file gives

    // In packing order.
    const std::vector<std::string>& Files() const { return set.Files().files; }
    // Folders that cannot be walked.
    const std::vector<zok::Error>& Problems() const { return set.Files().problems; }
};

// Folders are walked (zok::InputSet: their files, and those of their subfolders, in sorted
// order; a file named is opened once, for the build that reads it); a ZOK archive among the
// inputs that is the output itself (the `*` habit) is skipped (output may be empty: no such
// file); every file whose entry name an earlier one gives already (letter case ignored) is a
// clash.
CreateInputs GatherCreateInputs(const std::vector<std::string>& named, const std::string& output);
