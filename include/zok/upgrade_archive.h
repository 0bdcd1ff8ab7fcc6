#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Called after each entry: entries done (1 after the first), sum of their old source sizes,
// the new archive's size so far, and the sum of the stored sizes of all old entries.
using UpgradeProgressCallback = void (*)(int32_t entriesDone, uint32_t sourceBytesDone,
                                         uint32_t archiveSize, uint32_t totalStoredSize);

// Results of UpgradeArchive.
enum UpgradeResult : int32_t {
    kUpgradeDone = 0,            // rewritten as version 1.1.0
    kUpgradeNotNeeded = 1,       // the archive's version is above 1.0.0: nothing done
    kUpgradeNoTempFile = 2,      // the temporary file cannot be created or written
    kUpgradeNoNewArchive = 3,    // the new archive cannot be created or written
    kUpgradeEntryUnreadable = 4  // an entry of the old archive could not be read
};

// What an upgrade tells its caller beyond the result code.
struct UpgradeReport {
    // Why the upgrade stopped (codes 2 to 4), naming the file or the entry.
    std::string error;
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
// codecs. With replaceInPlace the new archive replaces path (the old one passes through a
// "~" backup that is removed at the end); otherwise it is written beside it with the last four
// characters of the name replaced by "110.zok" (pics.zok -> pics110.zok).
//
// The new archive is complete before it appears under its name; on codes 2 to 4 and on every
// exception the archive at path is left exactly as it was and no temporary file remains.
// Raises ZokError when the archive cannot be opened or trusted, and when a rename or deletion
// is refused (the message names the file, the reason and where the old archive is).
int32_t UpgradeArchive(const std::string& path, bool replaceInPlace,
                       UpgradeProgressCallback callback, UpgradeReport* report = nullptr);
