#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "zok/zok_file.h"

// Shared steps of the commands that read archives.

// Prints "zok: " + message on stderr.
void ReportError(const std::string& message);

// Opens an archive; on failure prints why (naming the archive) and returns null.
std::unique_ptr<CZokFile> OpenArchive(const std::string& path);

// The first entry named name (letter case ignored); when there is none, prints so, naming the
// archive, and returns nullopt.
std::optional<size_t> FindEntry(const CZokFile& zok, const std::string& name);

// A name made safe for a terminal: control bytes shown as \xNN.
std::string Printable(std::string_view text);

// "ARCHIVE: entry "NAME"" for messages.
std::string EntryLabel(const CZokFile& zok, size_t index);

// Size of the pieces in which entries are streamed: memory stays the same for any entry.
inline constexpr size_t kStreamPiece = 1 << 20;

// Hands the entry's content to write piece by piece. False with *why set when the entry is
// damaged (write may have seen part of it) or write returned false (*why then empty).
bool StreamEntry(const CZokFile& zok, size_t index,
                 const std::function<bool(const uint8_t*, size_t)>& write, std::string* why);

// A picture entry decoded: a 24-bit BMP file, and the alpha plane as a PGM file when alphaPgm
// is given (a picture without alpha gives a fully opaque plane). False with *why on failure.
bool DecodePicture(const CZokFile& zok, size_t index, std::string* bmp, std::string* alphaPgm,
                   std::string* why);

// Writes bytes to path as a new file that appears only when complete. An existing file is
// replaced only when overwrite is set.
bool WriteOutputFile(const std::string& path, std::string_view bytes, bool overwrite,
                     std::string* error);

// Streams the entry's content into path the same way; the file appears only when the entry
// read completely and exactly. *error names the file or says why the entry is damaged.
bool WriteEntryFile(const CZokFile& zok, size_t index, const std::string& path, bool overwrite,
                    std::string* error);
