#pragma once

#include <cstdio>
#include <string>

#include "archive/file_handle.h"

// A new file that appears under its name only when it is complete. It is written unnamed in
// the target's folder (Linux O_TMPFILE) where the file system allows it, otherwise under a
// short hidden temporary name there, and linked or renamed into place by Commit. Until then the
// target is untouched; a file that is never committed is removed when this object goes away.
class AtomicFile {
public:
    AtomicFile() = default;
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the file, open for reading and writing. On failure returns false and sets error
    // ("target: reason").
    bool Create(const std::string& targetPath, std::string* error);

    FILE* Get() const { return m_file.Get(); }

    // Flushes and syncs the file (a file that can be made again from its source, such as an
    // extracted entry, need not be synced: durable false), then puts it in place. With replace
    // an existing file at the target is replaced; without it Commit fails ("already exists")
    // and leaves that file alone. On failure nothing of this file remains.
    bool Commit(std::string* error, bool durable = true, bool replace = true);

    // Closes and removes the file.
    void Discard();

    // After a failed Commit without replace: the target's name was taken.
    bool TargetExists() const { return m_targetExists; }

private:
    bool LinkInto(const std::string& name);

    std::string m_targetPath;
    std::string m_folder;
    std::string m_tempPath;  // empty while the file is unnamed
    FileHandle m_file;
    bool m_targetExists = false;
};

// The errno text for the last failed system call, as the user sees it.
std::string SystemReason(int errorNumber);
