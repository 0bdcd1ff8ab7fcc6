#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "zok/error.h"
#include "zok/export.h"

namespace zok {

// Called after each entry: entries done (1 after the first), sum of their old source sizes,
// the new archive's size so far, and the sum of the stored sizes of all old entries.
using UpgradeProgressCallback = void (*)(int32_t entriesDone, uint32_t sourceBytesDone,
                                         uint32_t archiveSize, uint32_t totalStoredSize);

// What an upgrade came to. The numbers are the result codes the function-pointer form returns.
enum class UpgradeResult : int32_t {
    Done = 0,             // rewritten as version 1.1.0
    NotNeeded = 1,        // the archive's version is above 1.0.0: nothing done
    NoTempFile = 2,       // the temporary file cannot be created or written
    NoNewArchive = 3,     // the new archive cannot be created or written (or memory ran out)
    EntryUnreadable = 4,  // an entry of the old archive could not be read
    Cancelled = 5,        // the caller asked the upgrade to stop
};
inline constexpr int32_t kUpgradeDone = int32_t(UpgradeResult::Done);
inline constexpr int32_t kUpgradeNotNeeded = int32_t(UpgradeResult::NotNeeded);
inline constexpr int32_t kUpgradeNoTempFile = int32_t(UpgradeResult::NoTempFile);
inline constexpr int32_t kUpgradeNoNewArchive = int32_t(UpgradeResult::NoNewArchive);
inline constexpr int32_t kUpgradeEntryUnreadable = int32_t(UpgradeResult::EntryUnreadable);
inline constexpr int32_t kUpgradeCancelled = int32_t(UpgradeResult::Cancelled);

// Where an upgrade stands, for a progress display.
struct UpgradeProgress {
    int32_t entriesDone = 0;       // entries written to the new archive (1 after the first)
    uint64_t entryCount = 0;       // entries of the archive
    uint64_t sourceBytesDone = 0;  // sum of the old source sizes of those entries
    uint64_t bytesRead = 0;        // content bytes read from the old archive so far
    uint64_t archiveSize = 0;      // the new archive's size so far
    uint64_t totalStoredSize = 0;  // sum of the stored sizes of all old entries
    bool entryDone = false;        // this report ends an entry (else it comes from inside one)
};

// Where the new archive goes and whom the upgrade tells.
struct UpgradeOptions {
    // Without replaceInPlace: the new archive's path; empty for UpgradedArchiveName(path).
    std::string outputPath;
    // Without replaceInPlace: whether an existing file at the output is replaced (keeping its
    // permissions) or left alone, the upgrade then failing with code 3.
    bool replaceExisting = true;
    // Called after each entry and, within large entries, about every megabyte. May be empty.
    std::function<void(const UpgradeProgress&)> progress;
    // Set from any thread to stop: code 5, and nothing changed. May be null.
    const std::atomic<bool>* cancel = nullptr;
    // In place, when the old archive is kept as ~NAME and a signal ends the program after the
    // new archive took its name: written to the standard error, followed by ~NAME's path.
    std::string interruptNote = "the upgrade was interrupted; the old archive is kept as ";
};

// What an upgrade tells its caller beyond the result code.
struct UpgradeReport {
    // Why the upgrade stopped (codes 2 to 5): the code, and the file or entry it concerns
    // (OutOfMemory with code 3 when memory ran out).
    Error problem;
    // Where the new archive was written (code 0).
    std::string outputPath;
    // Entries whose content could not be encoded again (kept with storedSize 0).
    std::vector<std::string> unencoded;
    // In place with unencoded entries: the old archive is kept under this name.
    std::string keptBackup;
    // Entries that held no data in the old archive (they could not be encoded when it was
    // built): carried over as empty entries; nothing was lost.
    std::vector<std::string> carriedEmpty;
    // The entry being encoded when a codec raised an exception.
    std::string currentEntry;
};

// Rewrites a version 1.0.0 archive as version 1.1.0, entry by entry through the builder's
// codecs; each entry's content passes through an unnamed scratch file in the archive's folder.
// With replaceInPlace the new archive replaces path (keeping its permissions; a symbolic link
// is followed); when some entries could not be encoded again the old archive is kept as
// "~NAME" beside it, since it holds what the new one lacks. Otherwise the new archive is
// written as UpgradedArchiveName(path). An entry the old archive holds no data for (left empty
// when it was built) is carried over as an empty entry.
//
// The new archive is complete before it appears under its name; on codes 2 to 5 and on every
// exception the archive at path is left exactly as it was and nothing is left behind. Only a
// file the reader takes for a ZOK archive is upgraded: anything else raises ZokError ("not a
// ZOK archive"), as does an archive that cannot be opened or trusted.
//
// Threads: one upgrade runs on the calling thread and reports on it; any number of upgrades of
// different archives may run at once. Failures: the result code, and report->problem (a code,
// the file or entry it concerns).
ZOK_API int32_t UpgradeArchive(const std::string& path, bool replaceInPlace,
                               UpgradeProgressCallback callback, UpgradeReport* report = nullptr);
ZOK_API UpgradeResult UpgradeArchive(const std::string& path, bool replaceInPlace,
                                     const UpgradeOptions& options,
                                     UpgradeReport* report = nullptr);

// The new archive's name beside path: pics.zok -> pics110.zok (".zok" in any case gives way to
// "110.zok"); a name that does not end in ".zok" gets "110.zok" appended (short -> short110.zok).
ZOK_API std::string UpgradedArchiveName(const std::string& path);

}  // namespace zok
