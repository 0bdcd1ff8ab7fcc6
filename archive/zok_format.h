#pragma once

#include <cstdint>
#include <string_view>

#include "io/size_limits.h"

namespace zok {

// Fixed parts of the on-disk layout.
inline constexpr char kZokMagic[3] = {'Z', 'O', 'K'};
inline constexpr char kZokFormatVersion[3] = {'1', '1', '0'};
inline constexpr uint32_t kHeaderSize = 10;       // magic, version, count
inline constexpr uint32_t kRecordFixedSize = 17;  // name length, offset, sizes, kind

// True for the versions an upgrade rewrites: none of the three characters is above those of
// 1.0.0 (a file without the magic reads as "100").
inline bool VersionNeedsUpgrade(std::string_view version) {
    constexpr char kBase[3] = {'1', '0', '0'};
    for (size_t i = 0; i < 3 && i < version.size(); ++i) {
        if (version[i] > kBase[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace zok
