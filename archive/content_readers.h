#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "archive/entry_source.h"
#include "zok/entry_reader.h"

namespace zok {

// The readers CZokFile::OpenEntry hands out, one per way an entry's content comes out of its
// stored bytes.

// What a reader's problems name: the archive and the entry.
struct EntryContext {
    std::string path;
    std::string entry;
};

// A reader for an entry found unreadable before anything was read.
std::unique_ptr<EntryReader> MakeFailedReader(EntryContext context, uint64_t size, Error problem);
// The first size bytes of the entry's stored bytes.
std::unique_ptr<EntryReader> MakeCopyReader(EntryContext context, const EntrySource& source,
                                            uint64_t size);
// A zlib stream in the entry's stored bytes that inflates to exactly size bytes.
std::unique_ptr<EntryReader> MakeInflatingReader(EntryContext context, const EntrySource& source,
                                                 uint64_t size);

}  // namespace zok
