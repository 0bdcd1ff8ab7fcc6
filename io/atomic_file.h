#pragma once

#include <cstdio>
#include <string>

#include "io/file_handle.h"

namespace zok {

// A new file that appears under its name only when it is complete. It is written unnamed in
// the target's folder (Linux O_TMPFILE) where the file system allows it, otherwise under a
// short hidden temporary name there, and linked or renamed into place by Commit. Until then the
// target is untouched; a file that is never committed is removed when this object goes away.
//
// A target that is a symbolic link is followed: the file it leads to is replaced and the link
// stays. A replaced file keeps its permissions (and, for root, its owner and group). A named
// temporary file is noted for removal on SIGINT, SIGTERM and SIGHUP (temporary_files.h).
class AtomicFile {
public:
    // unnamed false always takes a named temporary file (for tests of that road).
    explicit AtomicFile(bool unnamed = true) : m_tryUnnamed(unnamed) {}
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the file, open for reading and writing. On failure returns false and sets error
    // ("target: reason"). A target that exists but is no regular file is refused.
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
    // The system's reason for the last failure of Create or Commit.
    int ErrorNumber() const { return m_errorNumber; }

    // The file the target path leads to, links followed (valid after Create).
    const std::string& ResolvedTarget() const { return m_targetPath; }

private:
    bool LinkInto(const std::string& name);
    void KeepTargetsOwnership();
    void ForgetTemporary();

    bool m_tryUnnamed = true;
    std::string m_shownPath;   // as the caller named it, for messages
    std::string m_targetPath;  // links followed
    std::string m_folder;
    std::string m_tempPath;  // empty while the file is unnamed
    FileHandle m_file;
    bool m_targetExists = false;
    int m_errorNumber = 0;
};

}  // namespace zok
