#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "zok/error.h"
#include "zok/export.h"

namespace zok {

class InputSet;

// Changing an archive without rebuilding it: files added or put in place of the entries of their
// name, entries deleted, and every other entry copied as its stored bytes (never decoded or
// encoded again). The result is byte for byte what a full build of the resulting inputs in the
// resulting order gives.

// What an update did with one entry.
enum class UpdateAction : uint8_t {
    Kept,       // an entry nothing named: copied as it is stored
    Replaced,   // an entry put in place by the input of its name, at its position
    Added,      // an input no entry had the name of: appended
    Deleted,    // an entry a deletion named: gone
    Unchanged,  // an input whose content equals its entry: the entry copied as it is stored
};

struct UpdatedEntry {
    std::string name;  // the entry's name as listed
    UpdateAction action = UpdateAction::Kept;
    std::string input;  // the input it came from (Replaced, Added, Unchanged)
};

// Where an update stands, for a progress display.
struct UpdateProgress {
    uint64_t bytesDone = 0;   // stored bytes copied and input bytes read so far
    uint64_t bytesTotal = 0;  // all of them
    std::string current;      // the entry being written
};

struct UpdateOptions {
    // Files to add, or to put in place of the first entry of their name (letter case ignored);
    // the name of an input is its path's last component, as in a build.
    std::vector<std::string> inputs;
    // Entries to delete: names or shell-style patterns, as CZokFile::FindAll takes them. A
    // deletion that matches nothing is an error (NoMatch) and nothing is written.
    std::vector<std::string> deletions;
    // Entries to delete by their directory position (a program that shows the entries deletes
    // exactly the ones its user chose, duplicate names included). A position past the end is an
    // error (NoSuchEntry).
    std::vector<size_t> deletePositions;
    // An input whose content equals the entry it would replace (bytes, or a picture's pixels and
    // alpha) leaves that entry as it is stored (Unchanged) instead of encoding it again.
    bool onlyChanged = false;
    // Two inputs giving one entry name are refused (DuplicateName) unless this is set.
    bool allowDuplicateNames = false;
    // Where the new archive goes; empty for the archive itself (replaced whole, keeping its
    // permissions; a symbolic link is followed).
    std::string outputPath;
    // An existing file at outputPath is replaced only when this is set; otherwise the update
    // fails (AlreadyExists) before anything is written.
    bool replaceExisting = false;
    // Called on the calling thread about every megabyte. May be empty.
    std::function<void(const UpdateProgress&)> progress;
    // Set from any thread to stop: Cancelled, and nothing changed. May be null.
    const std::atomic<bool>* cancel = nullptr;
};

struct UpdateReport {
    // Every entry of the old archive and every input, in the new archive's order, the deleted
    // ones where they stood.
    std::vector<UpdatedEntry> entries;
    // Why nothing was written (empty after success): NeedsUpgrade for a version 1.0.0 archive,
    // DataPastEnd naming an entry whose stored bytes lie past the end of the file, NoMatch,
    // DuplicateName, AlreadyExists, the inputs' problems (as a build names them), write failures,
    // Cancelled.
    std::vector<Error> problems;
    // Entries copied as they stand although the directory finds them damaged: nothing of
    // them is lost, nothing is mended.
    std::vector<Error> warnings;
    // Inputs whose entry could not be encoded (kept with storedSize 0), as in a build.
    std::vector<std::string> unencoded;
};

// Updates the version 1.1.0 archive at archivePath as options say. The new archive goes through
// the one writer: written unnamed beside its target and put in place only when complete, so an
// interruption leaves the old archive whole and nothing else; every input is checked before
// anything is written, and one that changes while it is read is refused. Returns false with
// report->problems when nothing was written. A codec's exception (ZokError) passes, with the
// same clean-up done.
//
// Threads: runs on the calling thread and reports there; updates of different archives may run
// at once.
ZOK_API bool UpdateArchive(const std::string& archivePath, const UpdateOptions& options,
                           UpdateReport* report);

// The same with the files of a set as the inputs (options.inputs is not read), reading the
// descriptors the set opened (see InputSet); they are used up, so a set is used once.
ZOK_API bool UpdateArchive(const std::string& archivePath, InputSet& inputs,
                           const UpdateOptions& options, UpdateReport* report);

}  // namespace zok
