#include "io/contained_folder.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <filesystem>

namespace zok {

namespace {

constexpr int kMaxLinks = 40;

// The folder at path below base, resolved by the kernel without leaving base. Where the kernel
// has no openat2, only the folder itself is reachable.
int OpenBeneath(int base, const std::string& path) {
    open_how how{};
    how.flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
    const long fd = ::syscall(SYS_openat2, base, path.c_str(), &how, sizeof how);
    if (fd < 0 && errno == ENOSYS) {
        errno = EXDEV;
    }
    return int(fd);
}

// The text of the link name in folder, in one read: symlink() makes no text of PATH_MAX bytes
// or more, and one that long (from another system) the kernel would not follow either, so it
// fails as too long.
bool ReadLink(int folder, const std::string& name, std::string* text) {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlinkat(folder, name.c_str(), buffer, sizeof buffer);
    if (n < 0) {
        return false;
    }
    if (size_t(n) >= sizeof buffer) {
        errno = ENAMETOOLONG;
        return false;
    }
    text->assign(buffer, size_t(n));
    return true;
}

}  // namespace

bool ContainedFolder::Open(const std::string& path, bool create, Error* error) {
    m_path = path;
    if (create) {
        std::error_code ec;
        std::filesystem::create_directories(path, ec);
    }
    m_fd.Reset(::open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!m_fd) {
        *error = MakeError(ErrorCode::NoFolder, path, "", errno);
        return false;
    }
    return true;
}

bool ContainedFolder::Resolve(const std::string& name, Target* target, Error* error) const {
    const auto fail = [&](ErrorCode code, int errorNumber) {
        *error = MakeError(code, m_path + "/" + name, "", errorNumber);
        return false;
    };
    std::string relative = name;
    for (int hops = 0; hops <= kMaxLinks; ++hops) {
        const size_t slash = relative.rfind('/');
        const std::string folder = slash == std::string::npos ? "" : relative.substr(0, slash);
        const std::string base = slash == std::string::npos ? relative : relative.substr(slash + 1);
        if (base.empty() || base == "." || base == "..") {
            return fail(ErrorCode::IsAFolder, EISDIR);
        }
        UniqueFd parent(folder.empty() ? ::fcntl(m_fd.Get(), F_DUPFD_CLOEXEC, 0)
                                       : OpenBeneath(m_fd.Get(), folder));
        if (!parent) {
            return errno == EXDEV ? fail(ErrorCode::LinkLeadsOut, 0)
                                  : fail(ErrorCode::CannotWrite, errno);
        }
        struct stat st {};
        if (::fstatat(parent.Get(), base.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT) {
                return fail(ErrorCode::CannotWrite, errno);
            }
            *target = Target{std::move(parent), base, relative, false, {}};
            return true;
        }
        if (!S_ISLNK(st.st_mode)) {
            *target = Target{std::move(parent), base, relative, true, st};
            return true;
        }
        std::string text;
        if (!ReadLink(parent.Get(), base, &text)) {
            return fail(ErrorCode::CannotWrite, errno);
        }
        if (text.empty() || text.front() == '/') {
            return fail(ErrorCode::LinkLeadsOut, 0);
        }
        relative = folder.empty() ? text : folder + "/" + text;
    }
    return fail(ErrorCode::CannotWrite, ELOOP);
}

}  // namespace zok
