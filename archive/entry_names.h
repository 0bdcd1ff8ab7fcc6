#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zok {

// Entry names as the directory keeps them (CP949 bytes) and as callers give and see them
// (UTF-8, with \xNN for bytes that are not CP949 or not printable), and how two names compare:
// ASCII letters folded, two-byte characters kept whole.

bool IsAscii(std::string_view text);

// The stored bytes of a name as it is shown: every \xNN is the byte NN (a byte that is not
// CP949, or a control byte made printable), everything else is UTF-8 text in CP949. Nullopt
// when there is no escape in it or the text cannot be CP949.
std::optional<std::string> UnescapeName(std::string_view shown);

// Compares two CP949 names with ASCII letters folded; two-byte characters compare as units,
// so a trail byte that happens to be a letter is never folded.
int CompareFolded(std::string_view a, std::string_view b);

// A CP949 name with its ASCII letters folded to lower case, two-byte characters kept whole (a
// trail byte that looks like a letter is not folded): the key under which equal names meet.
std::string FoldedName(std::string_view cp949);

// The name as shown in memory: UTF-8, with bytes that are not CP949 written as \xNN.
std::string DecodeName(std::string_view raw);

}  // namespace zok
