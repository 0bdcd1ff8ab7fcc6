#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/output.h"
#include "zok/error.h"
#include "zok/zok_file.h"

// Shared steps of the commands that read archives.

// How an archive read from the standard input ("-") is named in messages.
inline constexpr const char* kStandardInputName = "standard input";

// The help texts of the ARCHIVE and NAME arguments of the commands that read archives.
inline constexpr const char* kReadArchiveHelp =
    "The archive to read; - reads it from the standard input (a pipe is first copied into an "
    "unnamed temporary file in $TMPDIR or /tmp, since the directory comes first)";
inline constexpr const char* kNamesHelp =
    "Entries by name or by shell-style pattern (*, ? and [a-z], quoted against the shell), "
    "letter case ignored; a name that an entry has exactly is that entry";

// Opens an archive; on failure prints why (naming the archive) and returns null. "-" reads it
// from the standard input: a pipe is first copied into an unnamed temporary file, since the
// directory comes first. maxPixels, when not 0, is the picture limit the archive gets.
std::unique_ptr<zok::CZokFile> OpenArchive(const std::string& path, uint64_t maxPixels = 0);

// The first entry named name (letter case ignored); when there is none, prints so, naming the
// archive, and returns nullopt.
std::optional<size_t> FindEntry(const zok::CZokFile& zok, const std::string& name);

// The entries that names give, each a name or a shell-style pattern (CZokFile::FindAll: a name
// that an entry has is that entry), in the order of names and each entry once. A name that
// gives none is reported, naming the archive, and clears *allFound.
std::vector<size_t> FindEntries(const zok::CZokFile& zok, const std::vector<std::string>& names,
                                bool* allFound);

// An archive and one entry of it, for the commands that work on a single entry.
struct ArchiveEntry {
    std::unique_ptr<zok::CZokFile> archive;
    size_t index = 0;
    explicit operator bool() const { return archive != nullptr; }
};

// Opens the archive and finds the entry (letter case ignored); on failure prints why and
// returns an empty result.
ArchiveEntry OpenArchiveEntry(const std::string& path, const std::string& name,
                              uint64_t maxPixels = 0);

// "ARCHIVE: entry "NAME"" for messages (made printable when they are reported).
std::string EntryLabel(const zok::CZokFile& zok, size_t index);

// The line for an error met while working on an entry of zok: "ARCHIVE: entry "NAME": reason",
// with the file the command writes before the reason when the error concerns it; an output
// that exists gets the hint to use --overwrite (or --skip-existing, when canSkip).
std::string EntryMessage(const zok::CZokFile& zok, const std::string& entry,
                         const zok::Error& error, bool canSkip = false);
