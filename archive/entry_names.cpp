#include "archive/entry_names.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "io/names.h"
#include "zok/zok_file.h"

namespace zok {

namespace {

// A CP949 byte that starts a two-byte character.
bool IsLeadByte(unsigned char byte) {
    return byte >= 0x81 && byte <= 0xFE;
}

unsigned char FoldAscii(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

}  // namespace

bool IsAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::optional<std::string> UnescapeName(std::string_view shown) {
    std::string raw;
    std::string text;  // UTF-8 waiting for conversion
    bool escaped = false;
    const auto flush = [&]() {
        if (text.empty()) {
            return true;
        }
        const std::optional<std::string> cp949 = Utf8ToCp949(text);
        text.clear();
        if (!cp949) {
            return false;
        }
        raw += *cp949;
        return true;
    };
    for (size_t i = 0; i < shown.size(); ++i) {
        if (shown[i] == '\\' && i + 3 < shown.size() && shown[i + 1] == 'x' &&
            std::isxdigit(static_cast<unsigned char>(shown[i + 2])) &&
            std::isxdigit(static_cast<unsigned char>(shown[i + 3]))) {
            if (!flush()) {
                return std::nullopt;
            }
            raw.push_back(char(std::stoi(std::string(shown.substr(i + 2, 2)), nullptr, 16)));
            i += 3;
            escaped = true;
        } else {
            text.push_back(shown[i]);
        }
    }
    if (!escaped || !flush()) {
        return std::nullopt;
    }
    return raw;
}

int CompareFolded(std::string_view a, std::string_view b) {
    size_t i = 0;
    bool trail = false;
    for (; i < a.size() && i < b.size(); ++i) {
        auto x = static_cast<unsigned char>(a[i]);
        auto y = static_cast<unsigned char>(b[i]);
        if (!trail) {
            x = FoldAscii(x);
            y = FoldAscii(y);
        }
        if (x != y) {
            return x < y ? -1 : 1;
        }
        trail = !trail && IsLeadByte(x);
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

std::string FoldedName(std::string_view cp949) {
    std::string out(cp949);
    bool trail = false;
    for (char& c : out) {
        const auto byte = static_cast<unsigned char>(c);
        if (!trail) {
            c = char(FoldAscii(byte));
        }
        trail = !trail && IsLeadByte(byte);
    }
    return out;
}

std::string DecodeName(std::string_view raw) {
    if (IsAscii(raw)) {
        return std::string(raw);
    }
    std::optional<std::string> utf8 = Cp949ToUtf8(raw);
    return utf8 ? std::move(*utf8) : EscapeRawName(raw);
}

}  // namespace zok
