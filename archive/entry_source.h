#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "io/file_handle.h"

namespace zok {

// The stored bytes of one entry, [offset, offset + size) of an archive file, read by position
// so that readers never share a file position and may run on several threads at once. A read
// never goes past the entry's end: what lies behind it belongs to another entry.
class EntrySource {
public:
    // fd stays owned by the caller and must outlive the source. fileSize is the archive's
    // size: an entry cut off by the end of the file has only the bytes before it.
    EntrySource(int fd, uint64_t offset, uint64_t size, uint64_t fileSize);

    // Reads up to count bytes at the current position; fewer only at the entry's end or on a
    // read error (then Failed() is true).
    size_t Read(void* buffer, size_t count);

    // Moves to position (0 is the entry's first byte); false past the entry's end.
    bool Seek(uint64_t position);
    uint64_t Position() const { return m_position; }

    // The entry's stored size as its record gives it, and how much of it the file holds.
    uint64_t Size() const { return m_size; }
    uint64_t Available() const { return m_available; }
    uint64_t Remaining() const { return m_available - m_position; }

    bool Failed() const { return m_errno != 0; }
    int ErrorNumber() const { return m_errno; }

private:
    int m_fd;
    uint64_t m_offset;
    uint64_t m_size;
    uint64_t m_available;
    uint64_t m_position = 0;
    int m_errno = 0;
};

// A read-only stdio stream over the source, for codecs that read FILE*: reads end at the
// entry's end, and seeks (SEEK_END included) stay inside it. The source must outlive it.
FileHandle OpenEntryStream(EntrySource& source);

}  // namespace zok
