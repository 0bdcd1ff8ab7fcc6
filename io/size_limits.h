#pragma once

#include <cstdint>

namespace zok {

// Largest file or archive the 32-bit format can describe: every input, entry and archive is
// held below it.
inline constexpr int64_t kMaxZokFileSize = 0x7FFFFFFF;

// Deflate cannot expand one stored byte into more than 1032; with room for the zlib framing, no
// sound entry or PNG stream holds more than this many inflated bytes for storedBytes of data.
// Used to refuse sizes before anything is allocated for them.
inline constexpr uint64_t MaxInflatedSize(uint64_t storedBytes) {
    return storedBytes * 1032 + 1024;
}

}  // namespace zok
