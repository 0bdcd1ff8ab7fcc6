#pragma once

#include <cstdint>

namespace zok {

// Fixed parts of the on-disk layout.
inline constexpr char kZokMagic[3] = {'Z', 'O', 'K'};
inline constexpr char kZokFormatVersion[3] = {'1', '1', '0'};
inline constexpr uint32_t kHeaderSize = 10;       // magic, version, count
inline constexpr uint32_t kRecordFixedSize = 17;  // name length, offset, sizes, kind
// Largest file or archive the 32-bit format can describe.
inline constexpr int64_t kMaxZokFileSize = 0x7FFFFFFF;

// Deflate cannot expand one stored byte into more than 1032; with room for the zlib framing, no
// sound entry or PNG stream holds more than this many inflated bytes for storedBytes of data.
// Used to refuse sizes before anything is allocated for them.
inline constexpr uint64_t MaxInflatedSize(uint64_t storedBytes) {
    return storedBytes * 1032 + 1024;
}

}  // namespace zok
