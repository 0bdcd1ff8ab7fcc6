#pragma once

#include <sys/stat.h>

#include <string>

#include "io/file_handle.h"

namespace zok {

// Opens path for reading only, never blocking: it is opened without waiting and checked to be a
// regular file before anything is read, so a FIFO, socket or device is refused by its kind
// instead of hanging the caller. On failure returns an empty handle and sets *reason ("No such
// file or directory", "is a FIFO, not a regular file" ...). *status receives the file's status.
FileHandle OpenRegularFile(const std::string& path, std::string* reason,
                           struct stat* status = nullptr);

// Why a file of this mode cannot be read as one, or "" for a regular file.
std::string NotRegularReason(mode_t mode);

// True when something stands at path (a file, a folder, or a link, even a broken one).
bool NameTaken(const std::string& path);

// True when both paths name one existing file (the same device and inode), through links.
bool SameFile(const std::string& a, const std::string& b);

}  // namespace zok
