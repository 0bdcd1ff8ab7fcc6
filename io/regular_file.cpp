#include "io/regular_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "io/links.h"
#include "io/names.h"
#include "io/system_reason.h"

namespace zok {

std::string NotRegularReason(mode_t mode) {
    if (S_ISREG(mode)) {
        return "";
    }
    if (S_ISDIR(mode)) {
        return "is a folder, not a file";
    }
    if (S_ISFIFO(mode)) {
        return "is a FIFO (named pipe), not a regular file";
    }
    if (S_ISSOCK(mode)) {
        return "is a socket, not a regular file";
    }
    if (S_ISCHR(mode) || S_ISBLK(mode)) {
        return "is a device, not a regular file";
    }
    return "is not a regular file";
}

ErrorCode NotRegularCode(mode_t mode) {
    if (S_ISDIR(mode)) {
        return ErrorCode::IsAFolder;
    }
    if (S_ISFIFO(mode)) {
        return ErrorCode::IsAFifo;
    }
    if (S_ISSOCK(mode)) {
        return ErrorCode::IsASocket;
    }
    if (S_ISCHR(mode) || S_ISBLK(mode)) {
        return ErrorCode::IsADevice;
    }
    return ErrorCode::NotRegularFile;
}

FileHandle OpenRegularFile(const std::string& path, std::string* reason, struct stat* status) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        *reason = SystemReason(errno);
        return FileHandle();
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        *reason = SystemReason(errno);
        ::close(fd);
        return FileHandle();
    }
    if (!S_ISREG(st.st_mode)) {
        *reason = NotRegularReason(st.st_mode);
        ::close(fd);
        return FileHandle();
    }
    // A regular file never blocks; reads go on in the ordinary mode.
    (void)::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    FILE* file = ::fdopen(fd, "rb");
    if (file == nullptr) {
        *reason = SystemReason(errno);
        ::close(fd);
        return FileHandle();
    }
    if (status != nullptr) {
        *status = st;
    }
    return FileHandle(file);
}

bool NameTaken(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat x {};
    struct stat y {};
    return ::stat(a.c_str(), &x) == 0 && ::stat(b.c_str(), &y) == 0 && x.st_dev == y.st_dev &&
           x.st_ino == y.st_ino;
}

bool FileIdentity(const std::string& path, dev_t* device, ino_t* inode) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return false;
    }
    *device = st.st_dev;
    *inode = st.st_ino;
    return true;
}

bool SameTarget(const std::string& a, const std::string& b) {
    if (SameFile(a, b)) {
        return true;
    }
    std::string ra, rb;
    int error = 0;
    if (!FollowLinks(a, &ra, &error) || !FollowLinks(b, &rb, &error)) {
        return false;
    }
    if (BaseName(ra) != BaseName(rb)) {
        return false;
    }
    struct stat fa {};
    struct stat fb {};
    return ::stat(FolderOf(ra).c_str(), &fa) == 0 && ::stat(FolderOf(rb).c_str(), &fb) == 0 &&
           fa.st_dev == fb.st_dev && fa.st_ino == fb.st_ino;
}

}  // namespace zok
