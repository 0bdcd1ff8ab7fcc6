#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zok {

// Display text for numbers and long paths. Both functions are pure.

// The value in decimal with a comma between groups of three digits: 0 -> "0",
// 65536 -> "65,536", 4294967295 -> "4,294,967,295". The locale plays no part.
std::string FormatNumber(uint32_t value);
// The same for 64-bit counts (the sum of many entries' sizes).
std::string FormatNumber(uint64_t value);

// Fits path into a list row by replacing its middle with "...". A path of at most width + 3
// bytes comes back unchanged. Otherwise whole components are kept, taken alternately from the
// right end (last component with its leading separator) and the left end (first component with
// its trailing separator), right first, until the next one would bring the kept bytes past
// width; the result is head + "..." + tail and never exceeds width + 3 bytes.
//
// Widths are counted in bytes of the code page CP949, in which the rows' widths are given: an
// ASCII byte counts 1, any other character 2. Path and result are UTF-8. The separator is a
// single ASCII byte, which never occurs inside a multi-byte character, so a path is only ever
// cut at a real separator. Pass '\\' for Windows-style paths.
std::string ShortenPath(std::string_view path, uint32_t width, char separator = '/');

// Text safe to show: control bytes (below 0x20, and 0x7F) written as \xNN, everything else
// kept. Names read from an archive go through it before they reach a window.
std::string PrintableText(std::string_view text);

// The file-name part of a path: the bytes after its last separator, or the whole path when it
// holds none.
std::string FileNamePart(std::string_view path, char separator = '/');

}  // namespace zok
