#include "io/names.h"

#include "zok/names.h"

#include <iconv.h>

#include <cerrno>
#include <vector>

namespace zok {

std::string_view BaseName(std::string_view path, char separator) {
    const size_t slash = path.rfind(separator);
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string_view DirectoryPart(std::string_view path) {
    return path.substr(0, path.size() - BaseName(path).size());
}

std::string FolderOf(std::string_view path) {
    const std::string_view part = DirectoryPart(path);
    if (part.empty()) {
        return ".";
    }
    return part.size() == 1 ? "/" : std::string(part.substr(0, part.size() - 1));
}

void AppendHexByte(std::string& out, unsigned char byte, std::string_view prefix, bool upperCase) {
    const char* digits = upperCase ? "0123456789ABCDEF" : "0123456789abcdef";
    out += prefix;
    out.push_back(digits[byte >> 4]);
    out.push_back(digits[byte & 0x0F]);
}

std::string EscapeBytes(std::string_view text, bool (*escape)(unsigned char)) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (escape(byte)) {
            AppendHexByte(out, byte, "\\x", true);
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::string_view KindName(std::string_view path) {
    return path.size() < 3 ? std::string_view() : path.substr(path.size() - 3);
}

namespace {

char FoldAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

std::optional<std::string> Convert(const char* to, const char* from, std::string_view text) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return std::nullopt;
    }
    std::string out;
    std::vector<char> chunk(256);
    char* in = const_cast<char*>(text.data());
    size_t inLeft = text.size();
    bool ok = true;
    while (inLeft > 0) {
        char* dst = chunk.data();
        size_t dstLeft = chunk.size();
        const size_t rc = iconv(cd, &in, &inLeft, &dst, &dstLeft);
        out.append(chunk.data(), chunk.size() - dstLeft);
        if (rc == static_cast<size_t>(-1) && errno != E2BIG) {
            ok = false;
            break;
        }
        if (rc != static_cast<size_t>(-1) && rc > 0) {
            // Characters replaced irreversibly: the name would not come back the same.
            ok = false;
            break;
        }
    }
    iconv_close(cd);
    if (!ok) {
        return std::nullopt;
    }
    return out;
}

}  // namespace

NameRefusal RefuseAsFileName(std::string_view name) {
    if (name.empty()) {
        return NameRefusal::Empty;
    }
    if (name == "." || name == "..") {
        return NameRefusal::FolderReference;
    }
    if (name.find('/') != std::string_view::npos) {
        return NameRefusal::Separator;
    }
    if (name.find('\0') != std::string_view::npos) {
        return NameRefusal::NulByte;
    }
    return NameRefusal::None;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i])) {
            return false;
        }
    }
    return true;
}

std::string FoldCase(std::string_view name) {
    std::string folded(name);
    for (char& c : folded) {
        c = FoldAscii(c);
    }
    return folded;
}

std::optional<std::string> Utf8ToCp949(std::string_view utf8) {
    return Convert("CP949", "UTF-8", utf8);
}

std::optional<std::string> Cp949ToUtf8(std::string_view cp949) {
    return Convert("UTF-8", "CP949", cp949);
}

std::string EntryNameOf(std::string_view path) {
    return std::string(BaseName(path));
}

bool SameEntryName(std::string_view a, std::string_view b) {
    return EqualsNoCase(a, b);
}

std::string EntryNameKey(std::string_view name) {
    return FoldCase(name);
}

std::optional<std::string> ToArchiveCodePage(std::string_view utf8) {
    return Utf8ToCp949(utf8);
}

std::optional<std::string> FromArchiveCodePage(std::string_view cp949) {
    return Cp949ToUtf8(cp949);
}

}  // namespace zok
