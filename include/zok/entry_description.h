#pragma once

#include <cstdint>
#include <string>

#include "zok/entry_record.h"
#include "zok/export.h"

namespace zok {

// What an entry's stored bytes are, as every program shows it.
enum class ContentKind : uint8_t {
    PngPicture,    // a PNG stream (kind 2): a picture; its content is the stream itself
    StoredBitmap,  // a BMP file stored byte for byte (kind 1; kind 0 reads alike, no picture)
    Deflated,      // a deflated file (kind 3)
    Stored,        // a file whose name ends in "old", stored byte for byte (kind 3)
    Unknown,       // a kind byte no reader knows: nothing can be read
};

// Everything the directory tells about one entry (CZokFile::Describe): the one place where the
// facts that follow from an entry's kind byte and name are decided.
struct EntryDescription {
    std::string name;  // as listed: UTF-8, bytes that are not CP949 as \xNN
    EntryKind kind = EntryKind::Other;
    ContentKind content = ContentKind::Unknown;
    uint32_t offset = 0;
    uint32_t sourceSize = 0;
    uint32_t storedSize = 0;
    uint64_t contentSize = 0;    // what OpenEntry and ExtractEntry give: GetEntrySize
    bool picture = false;        // DecodePicture and DecodeEntryBitmap apply
    bool extractsAsBmp = false;  // a picture named *.bmp: extracted as a 24-bit BMP file
    bool holdsData = true;       // false: left empty when the archive was built
};

// A stable word for a content kind ("png", "bitmap", "deflated", "stored", "unknown"), for
// scripts and logs.
ZOK_API const char* ContentKindName(ContentKind content);

}  // namespace zok
