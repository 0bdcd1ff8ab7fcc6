// Shell-style wildcards over entry names (UTF-8, ASCII letters folded).

#include <cstddef>
#include <cstdint>

#include "zok/names.h"

namespace zok {

namespace {

// The code point at text[at] and the bytes it takes; a byte that starts no sequence stands for
// itself.
char32_t NextCharacter(std::string_view text, size_t at, size_t* length) {
    const auto lead = static_cast<unsigned char>(text[at]);
    const size_t size = lead < 0x80           ? 1
                        : (lead >> 5) == 0x6  ? 2
                        : (lead >> 4) == 0xE  ? 3
                        : (lead >> 3) == 0x1E ? 4
                                              : 1;
    if (size == 1 || at + size > text.size()) {
        *length = 1;
        return lead;
    }
    char32_t c = lead & (0x7F >> size);
    for (size_t k = 1; k < size; ++k) {
        c = (c << 6) | (static_cast<unsigned char>(text[at + k]) & 0x3F);
    }
    *length = size;
    return c;
}

char32_t Fold(char32_t c) {
    return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c;
}

// Matches the set that starts after '[' at pattern[at] against c; *end is just past its ']'.
// False with *end = npos when the set is never closed (the '[' is then an ordinary character).
bool SetMatches(std::string_view pattern, size_t at, char32_t c, size_t* end) {
    bool negate = false;
    if (at < pattern.size() && (pattern[at] == '!' || pattern[at] == '^')) {
        negate = true;
        ++at;
    }
    bool found = false;
    bool first = true;
    while (at < pattern.size() && (pattern[at] != ']' || first)) {
        first = false;
        size_t length = 0;
        char32_t low = NextCharacter(pattern, at, &length);
        at += length;
        char32_t high = low;
        if (at + 1 < pattern.size() && pattern[at] == '-' && pattern[at + 1] != ']') {
            high = NextCharacter(pattern, at + 1, &length);
            at += 1 + length;
        }
        found = found || (Fold(c) >= Fold(low) && Fold(c) <= Fold(high));
    }
    if (at >= pattern.size()) {
        *end = std::string_view::npos;
        return false;
    }
    *end = at + 1;
    return found != negate;
}

bool Match(std::string_view pattern, size_t p, std::string_view name, size_t n) {
    while (p < pattern.size()) {
        if (pattern[p] == '*') {
            while (p < pattern.size() && pattern[p] == '*') {
                ++p;
            }
            if (p == pattern.size()) {
                return true;
            }
            for (size_t at = n; at <= name.size();) {
                if (Match(pattern, p, name, at)) {
                    return true;
                }
                if (at == name.size()) {
                    break;
                }
                size_t length = 0;
                NextCharacter(name, at, &length);
                at += length;
            }
            return false;
        }
        if (n == name.size()) {
            return false;
        }
        size_t nameLength = 0;
        const char32_t c = NextCharacter(name, n, &nameLength);
        if (pattern[p] == '?') {
            ++p;
        } else if (pattern[p] == '[') {
            size_t end = 0;
            const bool in = SetMatches(pattern, p + 1, c, &end);
            if (end == std::string_view::npos) {
                if (c != '[') {
                    return false;
                }
                ++p;
            } else if (!in) {
                return false;
            } else {
                p = end;
            }
        } else {
            if (pattern[p] == '\\' && p + 1 < pattern.size()) {
                ++p;
            }
            size_t length = 0;
            if (Fold(NextCharacter(pattern, p, &length)) != Fold(c)) {
                return false;
            }
            p += length;
        }
        n += nameLength;
    }
    return n == name.size();
}

}  // namespace

bool MatchesPattern(std::string_view pattern, std::string_view name) {
    return Match(pattern, 0, name, 0);
}

bool HasWildcards(std::string_view text) {
    return text.find_first_of("*?[") != std::string_view::npos;
}

}  // namespace zok
