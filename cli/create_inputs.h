#pragma once

#include <string>
#include <vector>

// The inputs of `zok create` as the user named them, made into the list of files to pack.
struct CreateInputs {
    std::vector<std::string> files;     // in packing order
    std::vector<std::string> warnings;  // skipped own archive, names met before
    std::vector<std::string> problems;  // folders that cannot be walked
};

// Folders are walked (their files, and those of their subfolders, in sorted order); a ZOK
// archive among the inputs that is the output itself (the `*` habit) is skipped; every input
// whose name an earlier one has already (letter case ignored) is named, since only the first
// can be reached by name.
CreateInputs GatherCreateInputs(const std::vector<std::string>& named, const std::string& output);
