#pragma once

#include <cstdio>
#include <string>

#include "archive/file_handle.h"

// A new file written under a temporary name in the target's folder and renamed over the
// target only by Commit. Until then the target is untouched; a file that is never committed
// is removed when this object goes away.
class AtomicFile {
public:
    AtomicFile() = default;
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the temporary file ("w+b"). On failure returns false and sets error.
    bool Create(const std::string& targetPath, std::string* error);

    FILE* Get() const { return m_file.Get(); }
    const std::string& TempPath() const { return m_tempPath; }

    // Flushes, syncs (when durable) and closes the file, then renames it over the target.
    // A file that can be made again from its source (an extracted entry) need not be synced.
    bool Commit(std::string* error, bool durable = true);

    // Closes and removes the temporary file.
    void Discard();

private:
    std::string m_targetPath;
    std::string m_tempPath;
    FileHandle m_file;
};

// The errno text for the last failed system call, as the user sees it.
std::string SystemReason(int errorNumber);
