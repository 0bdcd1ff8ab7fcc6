#pragma once

#include <cstdint>
#include <string>

#include "zok/error.h"

namespace zok {

// A temporary file without a name, in $TMPDIR (else /tmp): written unnamed (O_TMPFILE) where
// the file system allows it, else made under a name that is removed at once. It vanishes with
// its descriptor, whatever ends the program. The programs spool archives through it, since the
// format puts its directory before the data and a pipe can be read only once.
class UnnamedFile {
public:
    UnnamedFile() = default;
    ~UnnamedFile();
    UnnamedFile(const UnnamedFile&) = delete;
    UnnamedFile& operator=(const UnnamedFile&) = delete;

    // Makes the file; false with *error (CannotWrite, naming the folder).
    bool Create(Error* error);
    // Appends everything from, until its end, stopping with ArchiveTooLarge once more than
    // limit bytes came; false with *error (CannotRead: from; CannotWrite: the file).
    bool CopyFrom(int from, uint64_t limit, Error* error);

    int Fd() const { return m_fd; }

private:
    int m_fd = -1;
};

// The folder temporary files go to: $TMPDIR, else /tmp.
std::string TemporaryFolder();

// Writes the whole file behind from (read by position, from its start) to the descriptor to;
// false with *error (CannotRead: from; CannotWrite: to, errno EPIPE for a closed pipe).
bool CopyWholeFile(int from, int to, Error* error);

}  // namespace zok
