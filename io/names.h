#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zok {

// Entry names and kind names.
//
// Paths and names in memory are UTF-8; names on disk are CP949. Comparisons without regard
// to case fold ASCII letters only, so multi-byte characters compare as whole units.

// The bytes after the last separator of a path, or the whole path when it has none.
std::string_view BaseName(std::string_view path, char separator = '/');

// The path up to and including its last '/', or "" when it has none.
std::string_view DirectoryPart(std::string_view path);

// The folder a path lies in, for system calls: "." when it names none, "/" for the root.
std::string FolderOf(std::string_view path);

// Appends one byte as prefix + two hex digits (\x1B, \u001b).
void AppendHexByte(std::string& out, unsigned char byte, std::string_view prefix, bool upperCase);

// The text with every byte for which escape is true written as \xNN (upper-case hex).
std::string EscapeBytes(std::string_view text, bool (*escape)(unsigned char));

// The last three bytes of a path, whatever they are; empty for a shorter path.
std::string_view KindName(std::string_view path);

// True when a and b are equal with ASCII letters folded.
bool EqualsNoCase(std::string_view a, std::string_view b);

// The name with ASCII letters folded to lower case (a key for lookups).
std::string FoldCase(std::string_view name);

// Why an entry name cannot become a file's name inside a folder: it would name the folder
// itself or its parent, lead into another folder, or cannot be a name at all.
enum class NameRefusal { None, Empty, FolderReference, Separator, NulByte };
NameRefusal RefuseAsFileName(std::string_view name);

// Converts between the in-memory UTF-8 and the on-disk CP949 form; nullopt when a character
// has no representation on the other side.
std::optional<std::string> Utf8ToCp949(std::string_view utf8);
std::optional<std::string> Cp949ToUtf8(std::string_view cp949);

}  // namespace zok
