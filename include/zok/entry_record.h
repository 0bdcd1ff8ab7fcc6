#pragma once

#include <cstdint>
#include <string>

namespace zok {

// One byte in each directory record: what the entry's data is.
enum class EntryKind : uint8_t {
    None = 0,       // read like BmpFile by ExtractEntry only
    BmpFile = 1,    // a BMP file stored byte for byte
    PngStream = 2,  // a PNG stream
    Other = 3,      // the output of the codec chosen from the name
};

// One directory record. In memory the name is UTF-8; on disk it is CP949.
struct EntryRecord {
    std::string name;
    uint32_t offset = 0;
    uint32_t sourceSize = 0;
    uint32_t storedSize = 0;
    EntryKind kind = EntryKind::Other;
};

}  // namespace zok
