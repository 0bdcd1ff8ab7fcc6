#pragma once

#include <sys/stat.h>

#include <string>

#include "io/file_handle.h"
#include "zok/error.h"

namespace zok {

// Opens path for reading only, never blocking: it is opened without waiting and checked to be a
// regular file before anything is read, so a FIFO, socket or device is refused by its kind
// instead of hanging the caller. On failure returns an empty handle and sets *reason ("No such
// file or directory", "is a FIFO, not a regular file" ...). *status receives the file's status.
FileHandle OpenRegularFile(const std::string& path, std::string* reason,
                           struct stat* status = nullptr);

// Why a file of this mode cannot be read as one, or "" for a regular file.
std::string NotRegularReason(mode_t mode);

// The code for a file of this mode that is no regular file (IsAFolder, IsAFifo ...).
ErrorCode NotRegularCode(mode_t mode);

// True when something stands at path (a file, a folder, or a link, even a broken one).
bool NameTaken(const std::string& path);

// True when both paths name one existing file (the same device and inode), through links.
bool SameFile(const std::string& a, const std::string& b);

// True when writing to a and to b would write one file: links followed (a dangling link leads
// to the file it would create), then the same existing file, or the same name in the same
// folder for a file that does not exist yet.
bool SameTarget(const std::string& a, const std::string& b);

// The device and inode of the file path leads to, links followed; false when there is none.
bool FileIdentity(const std::string& path, dev_t* device, ino_t* inode);

}  // namespace zok
