#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "zok/error.h"
#include "zok/export.h"

namespace zok {

class CZokFile;

// Taking entries out of an archive into a folder: the one extraction that the command line,
// the desktop program and the Python module all use.
//
// What it guarantees:
// - Containment by construction: the folder is opened once, and every file is created,
//   replaced and resolved relative to its descriptor (openat2 with RESOLVE_BENEATH; files
//   are linked and renamed into place by name in the folder they lie in). No path outside the
//   folder is created or changed, whatever is renamed or linked inside it while it runs. An
//   entry name that would leave the folder (empty, ".", "..", a '/' or a NUL byte) is refused;
//   a symbolic link in the folder is followed only to a file inside it, and one that leads out
//   (or is absolute) is refused by name.
// - Nothing half-written: each file is written unnamed (or under a hidden temporary name) and
//   appears only when its entry was read whole and exactly; a damaged entry leaves nothing.
//   An interrupted program leaves no temporary file (see RemoveTemporaryFilesOnSignals).
// - An existing file is replaced only with the caller's leave (ExistingFiles, or an answer
//   per file), keeping its permissions; the archive being read is never replaced.
// - A picture entry whose name ends in "bmp" is written as a 24-bit BMP file, decoded row by
//   row, so that every file is what its name says.
//
// Threads: Plan, Decide and Run on one thread; Run may spread the work over threads of its own.
// Failures are reported per item as an Error; nothing throws but std::bad_alloc from Plan.

// What to do with a file that already has an entry's name.
enum class ExistingFiles : uint8_t {
    Keep,     // leave it and report the item (AlreadyExists)
    Replace,  // replace it
    Skip,     // leave it and skip the item quietly
    Ask,      // ask the caller's question for each such file
};

// The answer to "replace this file?".
enum class OverwriteAnswer : uint8_t { Yes, No, YesToAll, NoToAll };

// One entry to take out, as planned.
struct ExtractItem {
    size_t index = 0;      // position in the archive's directory
    std::string name;      // the entry's name as listed (UTF-8): the file's name in the folder
    std::string writesTo;  // the file that would be written: the folder's path and its path
                           // inside it (a link in the folder followed)
    bool taken = false;    // a file has the name, or an earlier item writes the same file
    bool replace = false;  // replacing it is allowed
    bool skip = false;     // left alone
    Error refused;         // why nothing will be written (a refused name, a link leading out,
                           // the archive itself, a folder in the way)
    uint64_t bytes = 0;    // what reading it reads, for progress
};

// What became of one item.
enum class ItemStatus : uint8_t {
    Written,     // a new file
    Replaced,    // an existing file replaced, with leave
    Skipped,     // left alone (an existing file kept)
    Failed,      // not written: error says why
    NotReached,  // the run was cancelled first
};

struct ItemResult {
    ItemStatus status = ItemStatus::NotReached;
    Error error;  // for Failed
};

// Whom a run tells and how it spreads its work.
struct ExtractOptions {
    // Threads that write files; 0 takes one per core. The files are the same for any number.
    unsigned threads = 1;
    // Bytes read so far (of BytesToRead), from any thread, one call at a time. May be empty.
    std::function<void(uint64_t bytesDone)> progress;
    // Each item's outcome, on the calling thread, in item order. May be empty.
    std::function<void(const ExtractItem& item, const ItemResult& result)> onItem;
    // Set from any thread to stop; looked at between pieces of every entry. May be null.
    const std::atomic<bool>* cancel = nullptr;
    // When cancelled, the files this run made are removed again (a file replaced with leave
    // keeps its new content).
    bool removeMadeOnCancel = true;
};

struct ExtractResult {
    std::vector<ItemResult> items;  // one per planned item, in order
    size_t written = 0;             // Written and Replaced
    size_t skipped = 0;
    size_t failed = 0;
    bool cancelled = false;
};

class ZOK_API Extraction {
public:
    explicit Extraction(const CZokFile& archive);
    ~Extraction();
    Extraction(const Extraction&) = delete;
    Extraction& operator=(const Extraction&) = delete;

    // Opens folder (made with its parents when missing and createFolder is set) and plans the
    // entries at indices, in that order; an index given twice is planned once. Fails (NoFolder)
    // only when the folder cannot be opened; every other problem is an item's.
    Error Plan(const std::string& folder, const std::vector<size_t>& indices,
               bool createFolder = true);

    const std::vector<ExtractItem>& Items() const;

    // Decides every taken item by policy; with Ask, ask is called for each one in order (its
    // YesToAll and NoToAll decide the rest).
    void Decide(ExistingFiles policy,
                const std::function<OverwriteAnswer(const ExtractItem& item)>& ask = {});

    // Bytes that writing the planned items reads: the total for progress.
    uint64_t BytesToRead() const;

    // Writes the items as planned and decided. A file that appears at an item's name after it
    // was planned free is left alone (AlreadyExists) unless replacing was allowed.
    ExtractResult Run(const ExtractOptions& options);

private:
    struct ZOK_LOCAL State;
    std::unique_ptr<State> m_state;
};

// A picture entry decoded into files: a 24-bit BMP at bmpPath and, when alphaPath is not empty,
// its alpha plane as a binary PGM (opaque when the picture has none). Both are written whole or
// not at all: outputs that are the archive or each other (compared as files, links followed,
// dangling ones included) are refused before anything is written, and an output that exists is
// replaced only with overwrite. Errors: NoSuchEntry, NotAPicture, the entry's damage,
// PictureTooLarge(ForBmp), SameFile, AlreadyExists, CannotWrite, OutOfMemory.
ZOK_API Error ExtractPicture(const CZokFile& archive, size_t index, const std::string& bmpPath,
                             const std::string& alphaPath, bool overwrite,
                             const std::atomic<bool>* cancel = nullptr);

}  // namespace zok
