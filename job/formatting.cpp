#include "job/formatting.h"

#include <string>

namespace zok {

std::string FormatNumber(uint32_t value) {
    return FormatNumber(uint64_t(value));
}

std::string FormatNumber(uint64_t value) {
    if (value == 0) {
        return "0";
    }
    std::string result;
    while (value != 0) {
        std::string group = std::to_string(value % 1000);
        value /= 1000;
        if (value != 0) {
            // Inner groups always show three digits.
            group.insert(0, 3 - group.size(), '0');
            result.insert(0, "," + group);
        } else {
            result.insert(0, group);
        }
    }
    return result;
}

namespace {

// The width of UTF-8 text in bytes of the code page CP949: an ASCII byte counts 1, any other
// character 2 (a Hangul syllable is two bytes there, not the three of UTF-8).
uint64_t CodePageWidth(std::string_view text) {
    uint64_t width = 0;
    bool inCharacter = false;
    for (const char byte : text) {
        const auto c = static_cast<unsigned char>(byte);
        if (c < 0x80) {
            width += 1;
            inCharacter = false;
        } else if (c >= 0xC0 || !inCharacter) {
            // A lead byte, or a stray continuation byte that stands for a character of its own.
            width += 2;
            inCharacter = true;
        }
    }
    return width;
}

}  // namespace

std::string ShortenPath(std::string_view path, uint32_t width, char separator) {
    if (CodePageWidth(path) <= uint64_t(width) + 3) {
        return std::string(path);
    }
    std::string_view work = path;
    std::string_view head;  // a prefix of path
    std::string_view tail;  // a suffix of path
    uint64_t used = 0;
    for (;;) {
        const size_t last = work.rfind(separator);
        if (last == std::string_view::npos) {
            break;
        }
        used += CodePageWidth(work.substr(last));
        if (used > width) {
            break;
        }
        tail = path.substr(path.size() - tail.size() - (work.size() - last));
        work = work.substr(0, last);

        const size_t first = work.find(separator);
        if (first == std::string_view::npos) {
            break;
        }
        used += CodePageWidth(work.substr(0, first + 1));
        if (used > width) {
            break;
        }
        head = path.substr(0, head.size() + first + 1);
        work = work.substr(first + 1);
    }
    std::string result;
    result.reserve(head.size() + 3 + tail.size());
    result.append(head).append("...").append(tail);
    return result;
}

std::string FileNamePart(std::string_view path, char separator) {
    const size_t last = path.rfind(separator);
    return std::string(last == std::string_view::npos ? path : path.substr(last + 1));
}

std::string PrintableText(std::string_view text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            out += "\\x";
            out.push_back(kHex[byte >> 4]);
            out.push_back(kHex[byte & 0x0F]);
        } else {
            out.push_back(c);
        }
    }
    return out;
}

}  // namespace zok
