#include "job/entry_preview.h"

#include <algorithm>
#include <exception>
#include <new>

#include "job/formatting.h"
#include "job/korean_words.h"
#include "zok/names.h"
#include "zok/zok_file.h"

namespace zok {

PicturePreview DecodePicturePreview(const CZokFile& zok, size_t index, int32_t maxSide) {
    PicturePreview preview;
    bool tooLarge = false;
    size_t step = 1;
    size_t pixelBytes = 3;
    const Error error = zok.ReadPictureRows(
        index, PixelOrder::Rgb, true,
        [&](const PictureInfo& info) {
            preview.width = int32_t(info.width);
            preview.height = int32_t(info.height);
            preview.hasAlpha = info.hasAlpha;
            pixelBytes = info.hasAlpha ? 4 : 3;
            if (uint64_t(info.width) * info.height > kMaxPreviewPixels) {
                tooLarge = true;
                return false;
            }
            const size_t longer = std::max(info.width, info.height);
            const size_t side = size_t(std::max(maxSide, 1));
            step = longer > side ? (longer + side - 1) / side : 1;
            preview.sampledWidth = int32_t((info.width + step - 1) / step);
            preview.sampledHeight = int32_t((info.height + step - 1) / step);
            preview.rgba.resize(size_t(preview.sampledWidth) * size_t(preview.sampledHeight) * 4);
            return true;
        },
        // Only every step-th row and pixel is kept: memory is that of the sample and a row.
        [&](uint32_t y, const uint8_t* row) {
            if (y % step != 0) {
                return true;
            }
            uint8_t* to = preview.rgba.data() + (y / step) * size_t(preview.sampledWidth) * 4;
            for (size_t x = 0; x < size_t(preview.width); x += step) {
                const uint8_t* from = row + x * pixelBytes;
                *to++ = from[0];
                *to++ = from[1];
                *to++ = from[2];
                *to++ = pixelBytes == 4 ? from[3] : 0xFF;
            }
            return true;
        });
    if (tooLarge) {
        preview.sampledWidth = preview.sampledHeight = 0;
        preview.rgba.clear();
        preview.problem = "그림이 너무 커서 미리 보지 않습니다";
    } else if (error) {
        preview = PicturePreview();
        preview.problem = KoreanReason(error);
    }
    return preview;
}

namespace {

// Length of the longest prefix of text that is whole UTF-8, or npos when a byte in the middle
// is not UTF-8 at all. A sequence cut off at the end is left out of the prefix.
size_t Utf8Prefix(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        size_t length = c < 0x80           ? 1
                        : (c >> 5) == 0x6  ? 2
                        : (c >> 4) == 0xE  ? 3
                        : (c >> 3) == 0x1E ? 4
                                           : 0;
        if (length == 0 || (length == 2 && c < 0xC2)) {
            return std::string_view::npos;
        }
        if (i + length > text.size()) {
            // Cut off by the end: fine when what is there is continuation bytes.
            for (size_t k = i + 1; k < text.size(); ++k) {
                if ((static_cast<unsigned char>(text[k]) & 0xC0) != 0x80) {
                    return std::string_view::npos;
                }
            }
            return i;
        }
        for (size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
                return std::string_view::npos;
            }
        }
        i += length;
    }
    return i;
}

// CP949 text as UTF-8; a lead byte cut off at the end is dropped, bytes that are not CP949
// are shown as \xNN.
std::string FromCodePage(std::string_view text) {
    if (!text.empty() && static_cast<unsigned char>(text.back()) >= 0x81) {
        // Count the run of lead-capable bytes at the end: an odd run ends in a cut-off lead.
        size_t run = 0;
        while (run < text.size() &&
               static_cast<unsigned char>(text[text.size() - 1 - run]) >= 0x81) {
            ++run;
        }
        if (run % 2 == 1) {
            text.remove_suffix(1);
        }
    }
    if (std::optional<std::string> utf8 = FromArchiveCodePage(text)) {
        return *utf8;
    }
    return EscapeRawName(text);
}

}  // namespace

TextPreview ReadTextPreview(const CZokFile& zok, size_t index, size_t maxBytes, size_t maxLines) {
    TextPreview preview;
    const std::unique_ptr<EntryReader> reader = zok.OpenEntry(index);
    std::string bytes(maxBytes, '\0');
    size_t got = 0;
    while (got < maxBytes && !reader->Problem()) {
        const size_t n = reader->Read(bytes.data() + got, maxBytes - got);
        if (n == 0) {
            break;
        }
        got += n;
    }
    bytes.resize(got);
    if (reader->Problem()) {
        preview.problem = KoreanReason(reader->Problem());
        return preview;
    }
    preview.more = reader->Done() < reader->Size();
    if (bytes.find('\0') != std::string::npos) {
        preview.binary = true;
        return preview;
    }
    const size_t whole = Utf8Prefix(bytes);
    const std::string utf8 =
        whole != std::string_view::npos ? bytes.substr(0, whole) : FromCodePage(bytes);

    size_t lines = 0;
    size_t start = 0;
    while (start < utf8.size() && lines < maxLines) {
        size_t end = utf8.find('\n', start);
        const bool last = end == std::string::npos;
        if (last) {
            end = utf8.size();
        }
        std::string_view line(utf8.data() + start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        // Tabs stay; every other control byte is shown escaped.
        size_t from = 0;
        for (size_t tab = line.find('\t');; tab = line.find('\t', from)) {
            preview.text += PrintableText(line.substr(
                from, tab == std::string_view::npos ? std::string_view::npos : tab - from));
            if (tab == std::string_view::npos) {
                break;
            }
            preview.text.push_back('\t');
            from = tab + 1;
        }
        ++lines;
        start = end + 1;
        if (!last && start < utf8.size() && lines < maxLines) {
            preview.text.push_back('\n');
        }
    }
    if (start < utf8.size()) {
        preview.more = true;
    }
    return preview;
}

}  // namespace zok
