#pragma once

#include <sys/types.h>

#include <cstdio>
#include <string>

#include "io/file_handle.h"
#include "io/unique_fd.h"
#include "zok/error.h"

namespace zok {

// A new file that appears under its name only when it is complete. It is written unnamed in
// the target's folder (Linux O_TMPFILE) where the file system allows it, otherwise under a
// short hidden temporary name there (".zok-" and ten letters), and linked or renamed into
// place by Commit. Until then the target is untouched; a file that is never committed is
// removed when this object goes away.
//
// Every step after Create works relative to the descriptor of the target's folder, opened
// once: the file is created, linked and renamed there by name, so a folder swapped for a link
// in the meantime cannot send it elsewhere. A named temporary file is noted for removal on
// SIGINT, SIGTERM and SIGHUP (temporary_files.h) before the call that creates it, and so is the
// second name an unnamed file gets on its way to replacing a file.
//
// A replaced file keeps its permissions (and, for root, its owner and group).
class AtomicFile {
public:
    AtomicFile() = default;
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the file for targetPath, open for reading and writing. A target that is a
    // symbolic link is followed (wherever it leads): the file it leads to is replaced and the
    // link stays. A target that exists but is no regular file is refused.
    bool Create(const std::string& targetPath, Error* error);

    // Creates the file for name (one path component, no link followed) inside the folder whose
    // descriptor is given; the descriptor is duplicated. shownPath names the target in errors.
    bool CreateIn(int folder, const std::string& name, const std::string& shownPath, Error* error);

    FILE* Get() const { return m_file.Get(); }

    // Flushes and syncs the file (a file that can be made again from its source, such as an
    // extracted entry, need not be synced: durable false), then puts it in place. With replace
    // an existing file at the target is replaced; without it Commit fails (AlreadyExists) and
    // leaves that file alone. On failure nothing of this file remains.
    bool Commit(Error* error, bool durable = true, bool replace = true);

    // Closes and removes the file.
    void Discard();

    // After a successful Commit: the file's device and inode, so that a caller may later remove
    // exactly the file it made (and nothing that took the name since).
    dev_t Device() const { return m_device; }
    ino_t Inode() const { return m_inode; }

private:
    bool CreateNamed(mode_t mode, Error* error);
    bool Adopt(int fd, Error* error);
    bool NameUnnamedFile(Error* error);
    bool CommitNamed(bool replace, Error* error);
    bool CommitUnnamed(bool replace, Error* error);
    bool Fail(ErrorCode code, int errorNumber, Error* error);
    void KeepTargetsOwnership();
    void ForgetTemporary();

    std::string m_shownPath;  // as the caller named it, for errors
    UniqueFd m_folder;
    std::string m_name;      // the target's name in the folder
    std::string m_tempName;  // empty while the file is unnamed
    int m_ticket = -1;       // m_tempName's note for the signal handlers
    FileHandle m_file;
    dev_t m_device = 0;
    ino_t m_inode = 0;
};

// For tests: whether AtomicFile may write unnamed files (O_TMPFILE), and which ways of giving
// an unnamed file a name it may use (linkat with AT_EMPTY_PATH, linkat through /proc/self/fd).
// When no way works, a file already written unnamed is copied to a named temporary file.
void SetUnnamedFilesForTest(bool unnamedFiles, bool emptyPathLinks, bool procLinks);

}  // namespace zok
