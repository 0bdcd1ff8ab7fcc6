#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "io/unique_fd.h"

namespace zok {

// An unnamed scratch file for encoded data that waits behind a long entry once the memory it
// may fill is full. It has no name at any time, so nothing of it outlives the build, however the
// build ends; where the file system cannot make such a file there is none, and the data waits in
// memory as before.
class SpillFile {
public:
    // Creates the file in folder; false (with errno) when it cannot be made there.
    bool Create(const std::string& folder);
    bool IsOpen() const { return static_cast<bool>(m_fd); }

    // Appends size bytes; their position, or -1 (with errno) when they could not be written.
    int64_t Append(const uint8_t* data, size_t size);
    // Reads size bytes at pos; false (with errno) when they cannot all be read.
    bool ReadAt(uint64_t pos, uint8_t* data, size_t size) const;
    // Starts over at the beginning: nothing written so far is needed any more.
    void Rewind() { m_end = 0; }

private:
    UniqueFd m_fd;
    uint64_t m_end = 0;
};

}  // namespace zok
