#pragma once

#include <cstdint>
#include <string>

namespace zok {

// The size of a file about to be listed, or why it cannot be listed.
struct FileMeasure {
    bool ok = false;
    uint32_t size = 0;
    std::string reason;  // when not ok: what is wrong, for the user
};

// Measures path without changing anything on disk: it must be a regular file that can be
// opened for reading, smaller than 2 GiB (the archive's limit), whose base name CP949 can
// write (the archive's names). Folders, devices and pipes are refused before anything is
// opened, so a dropped pipe never blocks.
FileMeasure MeasureFile(const std::string& path);

}  // namespace zok
