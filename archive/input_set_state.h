#pragma once

#include <sys/types.h>

#include <vector>

#include "io/input_file.h"
#include "io/unique_fd.h"
#include "zok/inputs.h"

namespace zok {

struct InputSet::State {
    // What was opened for one file: an empty fd when the build opens it itself.
    struct Opened {
        UniqueFd fd;
        mode_t mode = 0;
        InputStamp stamp;
    };

    InputFiles files;
    std::vector<Opened> opened;  // one for each of files.files
};

}  // namespace zok
