#pragma once

#include <array>
#include <memory>
#include <string_view>

#include "codecs/entry_codec.h"

namespace zok {

// Owns one instance of each codec; the kind table (archive/entry_kinds) says which slot reads
// and writes what.
class CCodecTable {
public:
    enum Slot { kBmp = 0, kPng = 1, kStored = 2, kText = 3 };

    CCodecTable();
    ~CCodecTable();
    CCodecTable(const CCodecTable&) = delete;
    CCodecTable& operator=(const CCodecTable&) = delete;

    CEntryCodec* At(Slot slot) const { return m_codecs[slot].get(); }

private:
    std::array<std::unique_ptr<CEntryCodec>, 4> m_codecs;
};

}  // namespace zok
