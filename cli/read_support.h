#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "cli/output.h"
#include "zok/zok_file.h"

// Shared steps of the commands that read archives.

// Opens an archive; on failure prints why (naming the archive) and returns null.
std::unique_ptr<zok::CZokFile> OpenArchive(const std::string& path);

// The first entry named name (letter case ignored); when there is none, prints so, naming the
// archive, and returns nullopt.
std::optional<size_t> FindEntry(const zok::CZokFile& zok, const std::string& name);

// An archive and one entry of it, for the commands that work on a single entry.
struct ArchiveEntry {
    std::unique_ptr<zok::CZokFile> archive;
    size_t index = 0;
    explicit operator bool() const { return archive != nullptr; }
};

// Opens the archive and finds the entry (letter case ignored); on failure prints why and
// returns an empty result.
ArchiveEntry OpenArchiveEntry(const std::string& path, const std::string& name);

// "ARCHIVE: entry "NAME"" for messages (made printable when they are reported).
std::string EntryLabel(const zok::CZokFile& zok, size_t index);

// Size of the pieces in which entries are streamed: memory stays the same for any entry.
inline constexpr size_t kStreamPiece = 1 << 20;

// Hands the entry's content to write piece by piece. False with *why set when the entry is
// damaged (write may have seen part of it) or write returned false (*why then empty).
bool StreamEntry(const zok::CZokFile& zok, size_t index,
                 const std::function<bool(const uint8_t*, size_t)>& write, std::string* why);

// A picture entry decoded: a 24-bit BMP file, and the alpha plane as a PGM file when alphaPgm
// is given (a picture without alpha gives a fully opaque plane). False with *why on failure.
bool DecodePicture(const zok::CZokFile& zok, size_t index, std::string* bmp, std::string* alphaPgm,
                   std::string* why);

// Writes bytes to path as a new file that appears only when complete. An existing file is
// replaced only when overwrite is set.
bool WriteOutputFile(const std::string& path, std::string_view bytes, bool overwrite,
                     std::string* error);

// Streams the entry's content into path the same way; the file appears only when the entry
// read completely and exactly. *error names the file or says why the entry is damaged.
// onPiece, when given, hears of every piece written (any thread).
bool WriteEntryFile(const zok::CZokFile& zok, size_t index, const std::string& path, bool overwrite,
                    std::string* error, const std::function<void(size_t)>& onPiece = {});

// Why path must not be written as an output of a command reading the archive at archivePath:
// it is that archive, or (with inside set) a symbolic link leading out of the folder inside.
// "" when it may be written.
std::string RefusedOutput(const std::string& path, const std::string& archivePath,
                          const std::string& inside = "");
