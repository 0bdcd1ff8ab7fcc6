#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "job/entry_listing.h"

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
