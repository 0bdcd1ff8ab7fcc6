#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "archive/entry_source.h"
#include "zok/entry_reader.h"

namespace zok {

// The readers CZokFile::OpenEntry hands out, one per way an entry's content comes out of its
// stored bytes.

// A reader for an entry found unreadable before anything was read: error says why.
std::unique_ptr<EntryReader> MakeFailedReader(uint64_t size, std::string error);
// The first size bytes of the entry's stored bytes.
std::unique_ptr<EntryReader> MakeCopyReader(const EntrySource& source, uint64_t size);
// A zlib stream in the entry's stored bytes that inflates to exactly size bytes.
std::unique_ptr<EntryReader> MakeInflatingReader(const EntrySource& source, uint64_t size);

}  // namespace zok
