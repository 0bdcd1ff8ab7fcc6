#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>

#include "zok/error.h"
#include "zok/export.h"

namespace zok {

// The content of one archive entry read in pieces, for callers that do not want a whole entry
// in memory (a large asset streamed by a game, an entry written to a file). Made by
// CZokFile::OpenEntry; the archive object must outlive it.
//
// Read until Read returns 0, then ask Complete(): an entry is sound only when it yields
// exactly Size() bytes from its own stored bytes. Damage is reported where it is found, so
// bytes already handed out may belong to a damaged entry: write them to a temporary place and
// keep them only when Complete() is true.
//
// Threads: one reader serves one thread at a time; readers of one archive may run on several
// threads at once (each reads by position, sharing nothing).
//
// Failures: Problem() gives the code (DataCutShort, DataCorrupt, InflatesTooShort ...), the
// archive's path and the entry's name; it never throws.
class ZOK_API EntryReader {
public:
    virtual ~EntryReader();
    EntryReader(const EntryReader&) = delete;
    EntryReader& operator=(const EntryReader&) = delete;

    // Copies up to capacity (> 0) bytes of the content into buffer and returns how many; 0
    // when the content is complete or damaged.
    virtual size_t Read(void* buffer, size_t capacity) = 0;

    // The content's size: what GetEntrySize reports for the entry.
    virtual uint64_t Size() const = 0;
    // Bytes handed out so far.
    virtual uint64_t Done() const = 0;
    // Every byte was handed out and the entry proved exact.
    virtual bool Complete() const = 0;
    // Why the entry cannot be read; code None while it reads as sound.
    virtual const Error& Problem() const = 0;

protected:
    EntryReader() = default;
};

// Reads reader to its end, handing each piece (at most pieceSize bytes) to sink. Returns None
// when the entry read whole and exact; the reader's problem when it is damaged; Cancelled when
// *cancel was set (looked at between pieces) or sink returned false (the caller knows why);
// OutOfMemory when no piece buffer can be had.
ZOK_API Error DrainEntry(EntryReader& reader,
                         const std::function<bool(const uint8_t* bytes, size_t size)>& sink,
                         const std::atomic<bool>* cancel = nullptr, size_t pieceSize = 1 << 20);

}  // namespace zok
