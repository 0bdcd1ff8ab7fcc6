#include "job/entry_preview.h"

#include <algorithm>
#include <exception>
#include <new>

#include "io/names.h"
#include "job/formatting.h"
#include "job/korean_reasons.h"
#include "zok/zok_file.h"

namespace zok {

bool BitmapToRgba(const BITMAPINFOHEADER& header, const uint8_t* pixels, const uint8_t* alpha,
                  int32_t step, PicturePreview* out) {
    if (pixels == nullptr || header.biWidth <= 0 || header.biHeight <= 0 ||
        header.biBitCount != 24 || step < 1) {
        return false;
    }
    const size_t width = size_t(header.biWidth);
    const size_t height = size_t(header.biHeight);
    // With an alpha plane the colour rows are packed; without one they are padded to 4 bytes.
    const size_t rowBytes = alpha != nullptr ? width * 3 : ((width * 24 + 31) / 32) * 4;
    out->width = header.biWidth;
    out->height = header.biHeight;
    out->hasAlpha = alpha != nullptr;
    out->sampledWidth = int32_t((width + size_t(step) - 1) / size_t(step));
    out->sampledHeight = int32_t((height + size_t(step) - 1) / size_t(step));
    out->rgba.resize(size_t(out->sampledWidth) * size_t(out->sampledHeight) * 4);
    uint8_t* to = out->rgba.data();
    for (size_t y = 0; y < height; y += size_t(step)) {
        // Colour rows run bottom-up, the alpha plane top-down.
        const uint8_t* colour = pixels + (height - 1 - y) * rowBytes;
        const uint8_t* opacity = alpha != nullptr ? alpha + y * width : nullptr;
        for (size_t x = 0; x < width; x += size_t(step)) {
            *to++ = colour[x * 3 + 2];
            *to++ = colour[x * 3 + 1];
            *to++ = colour[x * 3];
            *to++ = opacity != nullptr ? opacity[x] : 0xFF;
        }
    }
    return true;
}

PicturePreview DecodePicturePreview(const CZokFile& zok, size_t index, int32_t maxSide) {
    PicturePreview preview;
    BITMAPINFOHEADER header;
    if (!zok.ReadEntryBitmapInfoAt(index, &header) || header.biWidth <= 0 || header.biHeight <= 0) {
        const std::optional<std::string> problem = zok.EntryProblem(index);
        preview.problem = problem ? KoreanReason(*problem) : "그림을 읽을 수 없습니다";
        return preview;
    }
    if (uint64_t(header.biWidth) * uint64_t(header.biHeight) > kMaxPreviewPixels) {
        preview.width = header.biWidth;
        preview.height = header.biHeight;
        preview.problem = "그림이 너무 커서 미리 보지 않습니다";
        return preview;
    }
    PixelBuffer alpha;
    PixelBuffer pixels;
    try {
        pixels = zok.DecodeEntryBitmapAt(index, &header, &alpha);
    } catch (const std::bad_alloc&) {
        preview.problem = "그림을 풀 메모리가 모자랍니다";
        return preview;
    } catch (const std::exception& e) {
        preview.problem = "그림이 손상되었습니다: " + KoreanReason(e.what());
        return preview;
    }
    const int32_t longer = std::max(header.biWidth, header.biHeight);
    const int32_t step = maxSide > 0 && longer > maxSide ? (longer + maxSide - 1) / maxSide : 1;
    if (!BitmapToRgba(header, pixels.get(), alpha.get(), step, &preview)) {
        preview = PicturePreview();
        preview.problem = "그림을 풀 수 없습니다";
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
    if (std::optional<std::string> utf8 = Cp949ToUtf8(text)) {
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
    while (got < maxBytes && reader->Error().empty()) {
        const size_t n = reader->Read(bytes.data() + got, maxBytes - got);
        if (n == 0) {
            break;
        }
        got += n;
    }
    bytes.resize(got);
    if (!reader->Error().empty()) {
        preview.problem = KoreanReason(reader->Error());
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
