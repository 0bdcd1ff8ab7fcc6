#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>

#include "zok/error.h"
#include "zok/export.h"

namespace zok {

class CZokFile;

// Checking entries: the one check that `zok test`, the desktop program's 검사 and scripts use.
// Every entry is read to its end and held to its exact size; a picture is decoded as well, row
// by row, so that checking costs a row of memory whatever the picture's size (the archive's
// picture limit applies). Threads: CheckEntry may run on several threads at once.

// Checks the entry at index: None when it is sound, else why not (HoldsNoData, the damage
// found, PictureTooLarge, OutOfMemory; Cancelled when *cancel was set). onBytes (may be empty)
// hears of the bytes read, in pieces.
ZOK_API Error CheckEntry(const CZokFile& archive, size_t index,
                         const std::atomic<bool>* cancel = nullptr,
                         const std::function<void(uint64_t bytes)>& onBytes = {});

struct CheckOptions {
    // Threads that read entries; 0 takes one per core. The result is the same for any number.
    unsigned threads = 1;
    // Content bytes read so far (of the archive's content sizes), from any thread, one call at
    // a time. May be empty.
    std::function<void(uint64_t bytesDone)> progress;
    // Each entry's outcome (None when sound), on the calling thread, in directory order.
    std::function<void(size_t index, const Error& problem)> onEntry;
    const std::atomic<bool>* cancel = nullptr;
};

struct CheckResult {
    size_t checked = 0;        // entries checked (all of them unless cancelled)
    size_t damaged = 0;        // entries found damaged
    size_t holdingNoData = 0;  // entries left empty when the archive was built
    bool cancelled = false;
};

// Checks every entry, in directory order as onEntry sees them.
ZOK_API CheckResult CheckArchive(const CZokFile& archive, const CheckOptions& options);

}  // namespace zok
