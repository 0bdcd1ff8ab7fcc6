#include "cli/read_support.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <new>
#include <vector>

#include "archive/atomic_file.h"
#include "archive/bmp_writer.h"
#include "archive/file_handle.h"

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

std::optional<EntryContent> ReadEntryContent(CZokFile& zok, size_t index, std::string* why) {
    if (std::optional<std::string> problem = zok.EntryProblem(index)) {
        *why = *problem;
        return std::nullopt;
    }
    EntryContent content;
    content.size = zok.GetEntrySizeAt(index);
    content.bytes.reset(new (std::nothrow) uint8_t[content.size == 0 ? 1 : content.size]);
    if (!content.bytes) {
        *why = "not enough memory for its " + std::to_string(content.size) + " bytes";
        return std::nullopt;
    }
    if (!zok.ExtractEntryAt(index, content.bytes.get())) {
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
    if (!overwrite) {
        // A new file only: created exclusively, so nothing that exists is ever touched, and
        // removed again if it cannot be written whole.
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            *error = Printable(path) + (errno == EEXIST
                                            ? ": already exists (use --overwrite to replace it)"
                                            : ": " + SystemReason(errno));
            return false;
        }
        FileHandle out(::fdopen(fd, "wb"));
        if (!out) {
            *error = Printable(path) + ": " + SystemReason(errno);
            ::close(fd);
            ::unlink(path.c_str());
            return false;
        }
        errno = 0;
        const bool written =
            bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), out.Get()) == bytes.size();
        if (!written || !out.Close()) {
            *error = Printable(path) + ": " + SystemReason(errno != 0 ? errno : EIO);
            ::unlink(path.c_str());
            return false;
        }
        return true;
    }
    // Replacing: the old file stays until the new one is complete.
    AtomicFile out;
    if (!out.Create(path, error)) {
        return false;
    }
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), out.Get()) != bytes.size()) {
        *error = Printable(path) + ": " + SystemReason(errno);
        return false;
    }
    return out.Commit(error, false);
}
