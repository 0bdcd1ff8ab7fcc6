#include "cli/read_support.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <new>
#include <vector>

#include "archive/bmp_writer.h"
#include "io/atomic_file.h"
#include "io/links.h"
#include "io/regular_file.h"
#include "io/system_reason.h"

    using namespace zok;

std::unique_ptr<CZokFile> OpenArchive(const std::string& path) {
    try {
        return std::make_unique<CZokFile>(path);
    } catch (const ZokOpenError& e) {
        ReportError((path) + ": " + SystemReason(e.ErrorNumber()));
    } catch (const std::bad_alloc&) {
        ReportError((path) + ": not enough memory to read its directory");
    } catch (const std::exception& e) {
        ReportError((e.what()));
    }
    return nullptr;
}

std::optional<size_t> FindEntry(const CZokFile& zok, const std::string& name) {
    std::optional<size_t> index = zok.Find(name);
    if (!index) {
        ReportError((zok.Path()) + ": no entry named \"" + (name) + "\"");
    }
    return index;
}

ArchiveEntry OpenArchiveEntry(const std::string& path, const std::string& name) {
    ArchiveEntry found;
    std::unique_ptr<CZokFile> zok = OpenArchive(path);
    if (zok) {
        if (const std::optional<size_t> index = FindEntry(*zok, name)) {
            found.index = *index;
            found.archive = std::move(zok);
        }
    }
    return found;
}

std::string EntryLabel(const CZokFile& zok, size_t index) {
    return (zok.Path()) + ": entry \"" + (zok.Record(index).name) + "\"";
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
    const size_t rowBytes = alpha ? width * 3 : size_t(BitmapRowBytes(width, 24));
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
    return (path) + ": " + SystemReason(errno != 0 ? errno : EIO);
}

bool Commit(AtomicFile& out, bool overwrite, std::string* error) {
    if (out.Commit(error, false, overwrite)) {
        return true;
    }
    *error = (*error);
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
        *error = (*error);
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
                    std::string* error, const std::function<void(size_t)>& onPiece) {
    AtomicFile out;
    if (!out.Create(path, error)) {
        *error = (*error);
        return false;
    }
    errno = 0;
    std::string why;
    FILE* file = out.Get();
    const bool read = StreamEntry(
        zok, index,
        [file, &onPiece](const uint8_t* bytes, size_t size) {
            if (onPiece) {
                onPiece(size);
            }
            return std::fwrite(bytes, 1, size, file) == size;
        },
        &why);
    if (!read) {
        *error = why.empty() ? WriteFailure(path) : why;
        return false;
    }
    return Commit(out, overwrite, error);
}

std::string RefusedOutput(const std::string& path, const std::string& archivePath,
                          const std::string& inside) {
    if (SameFile(path, archivePath)) {
        return path + ": is the archive being read; it is not replaced";
    }
    std::string resolved;
    int error = 0;
    if (!inside.empty() && FollowLinks(path, &resolved, &error) && resolved != path) {
        // A link may be followed only to a file inside the folder the user gave.
        std::error_code ec;
        const auto folder = std::filesystem::weakly_canonical(inside, ec);
        const auto target = std::filesystem::weakly_canonical(resolved, ec);
        const auto rel = target.lexically_relative(folder);
        if (ec || rel.empty() || *rel.begin() == "..") {
            return path + ": is a symbolic link leading out of " + inside + "; it is not followed";
        }
    }
    return "";
}
