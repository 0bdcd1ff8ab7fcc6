#pragma once

#include <array>
#include <memory>
#include <string_view>

#include "codecs/entry_codec.h"

namespace zok {

// Owns one instance of each codec and hands out the one for a kind name.
class CCodecTable {
public:
    enum Slot { kBmp = 0, kPng = 1, kStored = 2, kText = 3 };

    CCodecTable();
    ~CCodecTable();
    CCodecTable(const CCodecTable&) = delete;
    CCodecTable& operator=(const CCodecTable&) = delete;

    // "BMP", "PNG" or "OLD" in any case give their codec; any other name, the empty one
    // included, gives the deflate codec. Never fails.
    CEntryCodec* GetCodec(std::string_view kindName) const;

    CEntryCodec* At(Slot slot) const { return m_codecs[slot].get(); }

private:
    std::array<std::unique_ptr<CEntryCodec>, 4> m_codecs;
};

}  // namespace zok
