#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "zok/export.h"

namespace zok {

// The format's rules for entry names, for programs that choose and compare names as the library
// does. Names in memory are UTF-8; the archive stores them in CP949.

// The name an input gets in an archive: the last component of its path ("a/b.txt" -> "b.txt").
ZOK_API std::string EntryNameOf(std::string_view path);

// Entry names compare without regard to case: ASCII letters are folded, every other character
// is compared as it is (so "README.txt" and "readme.TXT" are one name, "한" and "한" too).
ZOK_API bool SameEntryName(std::string_view a, std::string_view b);
// The key under which names that compare equal meet: ASCII letters folded to lower case.
ZOK_API std::string EntryNameKey(std::string_view name);

// The name in the archive's code page (CP949), or nullopt when CP949 cannot hold a character
// of it (such a name is refused before anything is written).
ZOK_API std::optional<std::string> ToArchiveCodePage(std::string_view utf8);
// CP949 text (a name as stored, or a text file from a Korean system) as UTF-8; nullopt when
// it is not CP949.
ZOK_API std::optional<std::string> FromArchiveCodePage(std::string_view cp949);

// Shell-style wildcards for entry names, as zip and unzip take them: * any run of characters,
// ? one character, [abc], [a-z] and [!abc] one of a set, \x the character x itself. Letter case
// is ignored as in every lookup (ASCII letters folded); a character is a whole UTF-8 sequence.
ZOK_API bool MatchesPattern(std::string_view pattern, std::string_view name);
// True when text holds a wildcard character (*, ? or [).
ZOK_API bool HasWildcards(std::string_view text);

}  // namespace zok
