#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "codecs/codec_table.h"
#include "zok/entry_record.h"

namespace zok {

// The one answer to every question about entry kinds: which codec writes an input of a given
// name and which kind byte its entry gets, which codec reads an entry of a given kind, whether
// it is a picture, and what bounds its content's size. Names are taken as stored on disk
// (CP949 bytes): the kind name is their last three bytes, whatever they are.

// How an entry's content comes out of its stored bytes.
enum class ContentRead {
    Copy,     // the first content-size bytes, as they are
    Inflate,  // one zlib stream of exactly content-size bytes
};

// One row of the table.
struct EntryKindRule {
    const char* kindName;     // "BMP", "PNG", "OLD", or "" for every other name
    CCodecTable::Slot codec;  // the codec that writes the entry
    EntryKind kind;           // the kind byte the builder gives it
};

// How the builder writes an input whose stored name is cp949Name.
const EntryKindRule& WriteRuleFor(std::string_view cp949Name);
// The row for a kind name ("BMP", "png", "txt" ...); any other name gives the deflate row.
const EntryKindRule& RuleForKindName(std::string_view kindName);

// How the reader takes an entry of a kind and stored name apart; nullopt for an unknown kind.
struct EntryReadRule {
    CCodecTable::Slot codec;  // the codec that reads it (Extract, bitmaps)
    ContentRead read;
    bool contentIsStored;  // content size is storedSize (a PNG stream), else sourceSize
    bool picture;          // DecodeEntryBitmap and ReadEntryBitmapInfo apply
};
std::optional<EntryReadRule> ReadRuleFor(EntryKind kind, std::string_view cp949Name);

// True for a picture entry (a PNG stream) whose name ends in "bmp" (any case): taken out of the
// archive it is written as a 24-bit BMP file, decoded, so that the file is what its name says.
bool ExtractsAsBmp(EntryKind kind, std::string_view cp949Name);

}  // namespace zok
