#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zok {

// The content of one archive entry read in pieces, for callers that do not want a whole entry
// in memory (a large asset streamed by a game, an entry written to a file). Made by
// CZokFile::OpenEntry; the archive object must outlive it. Readers of one archive may run on
// different threads at once.
//
// Read until Read returns 0, then ask Complete(): an entry is sound only when it yields
// exactly Size() bytes from its own stored bytes. Damage is reported where it is found, so
// bytes already handed out may belong to a damaged entry: write them to a temporary place
// and keep them only when Complete() is true.
class EntryReader {
public:
    virtual ~EntryReader() = default;
    EntryReader(const EntryReader&) = delete;
    EntryReader& operator=(const EntryReader&) = delete;

    // Copies up to size (> 0) bytes of the content into buffer and returns how many; 0 when
    // the content is complete or damaged.
    virtual size_t Read(void* buffer, size_t size) = 0;

    // The content's size: what GetEntrySize reports for the entry.
    uint64_t Size() const { return m_size; }
    // Bytes handed out so far.
    uint64_t Done() const { return m_done; }
    // Every byte was handed out and the entry proved exact.
    bool Complete() const { return m_finished && m_error.empty(); }
    // Why the entry cannot be read, naming no file ("its compressed data is corrupt" ...);
    // empty while it reads as sound.
    const std::string& Error() const { return m_error; }

protected:
    explicit EntryReader(uint64_t size) : m_size(size) {}

    uint64_t m_size;
    uint64_t m_done = 0;
    bool m_finished = false;
    std::string m_error;
};

}  // namespace zok
