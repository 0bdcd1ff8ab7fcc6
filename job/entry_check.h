#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "job/entry_listing.h"

namespace zok {

class CZokFile;

// What reading one entry through found.
struct EntryCheck {
    EntryMark mark = EntryMark::Sound;
    std::string problem;     // the library's reason (English) when marked
    bool cancelled = false;  // stopped by cancel before the end; mark says nothing then
};

// Reads the entry to its end through OpenEntry, holding it to its exact size, and decodes it
// when it is a picture. onBytes (may be empty) gets the number of bytes read at each piece;
// cancel (may be null) is looked at between pieces. Safe on any thread.
EntryCheck CheckEntry(const CZokFile& zok, size_t index, const std::atomic<bool>* cancel,
                      const std::function<void(uint64_t)>& onBytes);

// What checking every entry of an archive found.
struct ArchiveCheck {
    // Each entry checked, in directory order, with what reading it found.
    std::vector<std::pair<size_t, EntryCheck>> entries;
    bool cancelled = false;  // stopped early: entries holds those checked so far
};

// Checks every entry in directory order (CheckEntry); progress (may be empty) gets the bytes
// read so far.
ArchiveCheck CheckEntries(const CZokFile& zok, const std::atomic<bool>* cancel,
                          const std::function<void(uint64_t)>& progress);

// The sum of every entry's content size (GetEntrySizeAt): the total for progress.
uint64_t ContentBytes(const CZokFile& zok);

}  // namespace zok
