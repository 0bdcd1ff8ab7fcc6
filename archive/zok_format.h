#pragma once

#include <cstdint>

#include "io/size_limits.h"

namespace zok {

// Fixed parts of the on-disk layout.
inline constexpr char kZokMagic[3] = {'Z', 'O', 'K'};
inline constexpr char kZokFormatVersion[3] = {'1', '1', '0'};
inline constexpr uint32_t kHeaderSize = 10;       // magic, version, count
inline constexpr uint32_t kRecordFixedSize = 17;  // name length, offset, sizes, kind

}  // namespace zok
