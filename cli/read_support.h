#pragma once

#include <cstdint>
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

// An entry's bytes, in a buffer that is not cleared before it is filled (entries can be large).
struct EntryContent {
    std::unique_ptr<uint8_t[]> bytes;
    size_t size = 0;
    std::string_view View() const { return {reinterpret_cast<const char*>(bytes.get()), size}; }
};

// The entry's content as ExtractEntry gives it; nullopt with *why set when it cannot be read.
std::optional<EntryContent> ReadEntryContent(CZokFile& zok, size_t index, std::string* why);

// A picture entry decoded: a 24-bit BMP file, and the alpha plane as a PGM file when alphaPgm
// is given (a picture without alpha gives a fully opaque plane). False with *why on failure.
bool DecodePicture(CZokFile& zok, size_t index, std::string* bmp, std::string* alphaPgm,
                   std::string* why);

// Writes bytes to path under a temporary name, renamed into place when complete. An existing
// file is replaced only when overwrite is set.
bool WriteOutputFile(const std::string& path, std::string_view bytes, bool overwrite,
                     std::string* error);
