#include "cli/read_support.h"

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
    } catch (const std::bad_alloc&) {
        ReportError(Printable(path) + ": not enough memory to read its directory");
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
    return Printable(zok.Path()) + ": entry \"" + Printable(zok.Record(index).name) + "\"";
}

bool StreamEntry(const CZokFile& zok, size_t index,
                 const std::function<bool(const uint8_t*, size_t)>& write, std::string* why) {
    const std::unique_ptr<EntryReader> reader = zok.OpenEntry(index);
    if (!reader->Error().empty()) {
        *why = reader->Error();
        return false;
    }
    std::unique_ptr<uint8_t[]> piece(new (std::nothrow) uint8_t[kStreamPiece]);
    if (!piece) {
        *why = "not enough memory to read it";
        return false;
    }
    for (;;) {
        const size_t got = reader->Read(piece.get(), kStreamPiece);
        if (got == 0) {
            break;
        }
        if (!write(piece.get(), got)) {
            why->clear();
            return false;
        }
    }
    if (!reader->Complete()) {
        *why = reader->Error();
        return false;
    }
    return true;
}

bool DecodePicture(const CZokFile& zok, size_t index, std::string* bmp, std::string* alphaPgm,
                   std::string* why) {
    if (std::optional<std::string> problem = zok.EntryProblem(index)) {
        *why = *problem;
        return false;
    }
    const EntryKind kind = zok.Record(index).kind;
    if (kind != EntryKind::BmpFile && kind != EntryKind::PngStream) {
        *why = "it is not a picture entry";
        return false;
    }
    BITMAPINFOHEADER header;
    PixelBuffer alpha;
    PixelBuffer pixels;
    try {
        pixels = zok.DecodeEntryBitmapAt(index, &header, alphaPgm != nullptr ? &alpha : nullptr);
    } catch (const std::bad_alloc&) {
        *why = "not enough memory to decode its picture";
        return false;
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

namespace {

std::string WriteFailure(const std::string& path) {
    return Printable(path) + ": " + SystemReason(errno != 0 ? errno : EIO);
}

bool Commit(AtomicFile& out, bool overwrite, std::string* error) {
    if (out.Commit(error, false, overwrite)) {
        return true;
    }
    *error = Printable(*error);
    if (out.TargetExists()) {
        *error += " (use --overwrite to replace it)";
    }
    return false;
}

}  // namespace

bool WriteOutputFile(const std::string& path, std::string_view bytes, bool overwrite,
                     std::string* error) {
    AtomicFile out;
    if (!out.Create(path, error)) {
        *error = Printable(*error);
        return false;
    }
    errno = 0;
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), out.Get()) != bytes.size()) {
        *error = WriteFailure(path);
        return false;
    }
    return Commit(out, overwrite, error);
}

bool WriteEntryFile(const CZokFile& zok, size_t index, const std::string& path, bool overwrite,
                    std::string* error) {
    AtomicFile out;
    if (!out.Create(path, error)) {
        *error = Printable(*error);
        return false;
    }
    errno = 0;
    std::string why;
    FILE* file = out.Get();
    const bool read = StreamEntry(
        zok, index,
        [file](const uint8_t* bytes, size_t size) {
            return std::fwrite(bytes, 1, size, file) == size;
        },
        &why);
    if (!read) {
        *error = why.empty() ? WriteFailure(path) : why;
        return false;
    }
    return Commit(out, overwrite, error);
}
