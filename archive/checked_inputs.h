#pragma once

#include <fcntl.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "io/input_file.h"
#include "io/unique_fd.h"
#include "zok/build_archive.h"
#include "zok/inputs.h"

namespace zok {

// How inputs are opened: for reading, never waiting on a FIFO or device, never becoming the
// process's terminal.
inline constexpr int kInputOpenFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;

// The inputs of a build, checked before anything is written. Each is opened once, without
// blocking (a FIFO or device never holds the build up), and measured by one fstat that gives
// its kind, size, identity and times; that descriptor is the one its codec reads, and the same
// stamp is what the change check compares after the read.
//
// Descriptors stay open from the check for the first inputs only, as many as the budget allows:
// a build of 100,000 files must not hold 100,000 descriptors, and the encoders take the first
// inputs first. Each is closed once its input is encoded. An input past the budget is closed
// after its check and opened again when its turn comes; it must then be the very file that was
// checked (same device and inode, size and times), or it changed in between and is refused.
class CheckedInputs {
public:
    // Half the process's descriptor limit, at most 4096: room for every other file the program
    // and the build keep open.
    static size_t DefaultBudget();

    // Keeps up to budget descriptors from the check; 0 closes each input after its check.
    CheckedInputs(const std::vector<std::string>& paths, size_t budget);
    // The files of a set, taking the descriptors and measures the set opened (they count
    // towards the budget), so that those files are neither opened nor measured again.
    CheckedInputs(InputSet& set, size_t budget);

    // Checks every input in order and appends one problem for each that cannot be packed: it
    // cannot be opened, is no regular file, is 2 GiB or more, is the archive being written to
    // outputPath, or its name cannot be written (names[i] empty). While no problem is found,
    // passed(count) is told now and then that the first count inputs passed.
    void Check(const std::string& outputPath, const std::vector<std::optional<std::string>>& names,
               std::vector<Error>& problems, const std::function<void(size_t)>& passed = nullptr);

    // Input i's size when it was checked.
    uint32_t Size(size_t i) const { return uint32_t(m_entries[i].stamp.size); }

    // Sets input up to read checked input i, from any thread (inputs apart). The first call
    // takes the descriptor of the check; a later one opens the file again. False with *problem
    // when it cannot be opened again or is no longer the file checked.
    bool Open(size_t i, InputFile& input, Error* problem);

private:
    struct Entry {
        UniqueFd fd;
        InputStamp stamp;
        mode_t adoptedMode = 0;  // the file type of a set's file, when it was opened there
    };

    const std::vector<std::string>& m_paths;
    std::vector<Entry> m_entries;
    size_t m_budget;
    size_t m_adopted = 0;  // entries holding a set's descriptor
};

}  // namespace zok
