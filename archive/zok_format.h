#pragma once

#include <cstdint>

// Fixed parts of the on-disk layout.
inline constexpr char kZokMagic[3] = {'Z', 'O', 'K'};
inline constexpr char kZokVersion[3] = {'1', '1', '0'};
inline constexpr uint32_t kHeaderSize = 10;       // magic, version, count
inline constexpr uint32_t kRecordFixedSize = 17;  // name length, offset, sizes, kind
// Largest file or archive the 32-bit format can describe.
inline constexpr int64_t kMaxZokFileSize = 0x7FFFFFFF;
