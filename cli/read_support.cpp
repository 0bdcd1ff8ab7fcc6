#include "cli/read_support.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <new>
#include <vector>

#include "archive/atomic_file.h"
#include "archive/bmp_writer.h"

void ReportError(const std::string& message) {
    std::fprintf(stderr, "zok: %s\n", message.c_str());
}

std::unique_ptr<CZokFile> OpenArchive(const std::string& path) {
    try {
        return std::make_unique<CZokFile>(path);
    } catch (const ZokOpenError& e) {
        ReportError(Printable(path) + ": " + SystemReason(e.ErrorNumber()));
    } catch (const std::exception& e) {
        ReportError(Printable(e.what()));
    }
    return nullptr;
}

std::optional<size_t> FindEntry(const CZokFile& zok, const std::string& name) {
    std::optional<size_t> index = zok.Find(name);
    if (!index) {
        ReportError(Printable(zok.Path()) + ": no entry named \"" + Printable(name) + "\"");
    }
    return index;
}

std::string Printable(std::string_view text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : text) {
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

std::string EntryLabel(const CZokFile& zok, size_t index) {
    return Printable(zok.Path()) + ": entry \"" + Printable(zok.Records()[index].name) + "\"";
}

std::optional<std::string> ReadEntryContent(CZokFile& zok, size_t index, std::string* why) {
    if (std::optional<std::string> problem = zok.EntryProblem(index)) {
        *why = *problem;
        return std::nullopt;
    }
    std::string content;
    try {
        content.resize(zok.GetEntrySizeAt(index));
    } catch (const std::bad_alloc&) {
        *why = "not enough memory for its " + std::to_string(zok.GetEntrySizeAt(index)) + " bytes";
        return std::nullopt;
    }
    if (!zok.ExtractEntryAt(index, reinterpret_cast<uint8_t*>(content.data()))) {
        *why = "its data is damaged";
        return std::nullopt;
    }
    return content;
}

bool DecodePicture(CZokFile& zok, size_t index, std::string* bmp, std::string* alphaPgm,
                   std::string* why) {
    if (std::optional<std::string> problem = zok.EntryProblem(index)) {
        *why = *problem;
        return false;
    }
    const EntryKind kind = zok.Records()[index].kind;
    if (kind != EntryKind::BmpFile && kind != EntryKind::PngStream) {
        *why = "it is not a picture entry";
        return false;
    }
    BITMAPINFOHEADER header;
    PixelBuffer alpha;
    PixelBuffer pixels;
    try {
        pixels = zok.DecodeEntryBitmapAt(index, &header, alphaPgm != nullptr ? &alpha : nullptr);
    } catch (const std::exception& e) {
        *why = std::string("its picture is damaged (") + e.what() + ")";
        return false;
    }
    if (!pixels || header.biWidth <= 0 || header.biHeight <= 0) {
        *why = "its picture cannot be decoded";
        return false;
    }
    const size_t width = size_t(header.biWidth);
    // With an alpha plane the colour rows are packed; without one they are padded to 4 bytes.
    const size_t rowBytes = alpha ? width * 3 : ((width * 24 + 31) / 32) * 4;
    std::optional<std::string> file =
        EncodeBmp24(header.biWidth, header.biHeight, pixels.get(), rowBytes);
    if (!file) {
        *why = "its picture is too large for a BMP file";
        return false;
    }
    *bmp = std::move(*file);
    if (alphaPgm != nullptr) {
        std::vector<uint8_t> opaque;
        const uint8_t* plane = alpha.get();
        if (plane == nullptr) {
            opaque.assign(width * size_t(header.biHeight), 0xFF);
            plane = opaque.data();
        }
        *alphaPgm = EncodePgm(header.biWidth, header.biHeight, plane).value_or("");
    }
    return true;
}

bool WriteOutputFile(const std::string& path, std::string_view bytes, bool overwrite,
                     std::string* error) {
    struct stat st {};
    const auto exists = [&] { return ::lstat(path.c_str(), &st) == 0; };
    if (!overwrite && exists()) {
        *error = Printable(path) + ": already exists (use --overwrite to replace it)";
        return false;
    }
    AtomicFile out;
    if (!out.Create(path, error)) {
        return false;
    }
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), out.Get()) != bytes.size()) {
        *error = Printable(path) + ": " + SystemReason(errno);
        return false;
    }
    if (!overwrite && exists()) {
        *error = Printable(path) + ": already exists (use --overwrite to replace it)";
        return false;
    }
    return out.Commit(error);
}
