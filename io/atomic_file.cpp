#include "io/atomic_file.h"

#include "io/links.h"
#include "io/names.h"
#include "io/system_reason.h"
#include "io/temporary_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>
#include <vector>

namespace zok {

namespace {

mode_t DefaultFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// A short hidden name in folder that nothing else uses yet: the target's own name is never
// part of it, so even a target name of the longest length allowed gets one.
std::string TemporaryName(const std::string& folder) {
    static thread_local std::mt19937_64 random{std::random_device{}()};
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string name = folder + "/.zok-";
    for (int i = 0; i < 10; ++i) {
        name.push_back(kLetters[random() % (sizeof kLetters - 1)]);
    }
    return name;
}

}  // namespace

AtomicFile::~AtomicFile() {
    Discard();
}

bool AtomicFile::Create(const std::string& targetPath, std::string* error) {
    Discard();
    m_shownPath = targetPath;
    int linkError = 0;
    if (!FollowLinks(targetPath, &m_targetPath, &linkError)) {
        m_errorNumber = linkError;
        *error = targetPath + ": " + SystemReason(linkError);
        return false;
    }
    struct stat existing {};
    if (::stat(m_targetPath.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode)) {
        m_errorNumber = S_ISDIR(existing.st_mode) ? EISDIR : EINVAL;
        *error = targetPath + ": " +
                 (S_ISDIR(existing.st_mode) ? "is a folder" : "is not a regular file") +
                 "; it is not replaced";
        return false;
    }
    m_folder = FolderOf(m_targetPath);
    const mode_t mode = DefaultFileMode();
    int fd = -1;
    if (m_tryUnnamed) {
        fd = ::open(m_folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
        if (fd < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
            m_errorNumber = errno;
            *error = targetPath + ": " + SystemReason(errno);
            return false;
        }
    }
    if (fd < 0) {
        // No unnamed files here: a hidden temporary name, removed again on every failure.
        for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
            m_tempPath = TemporaryName(m_folder);
            fd = ::open(m_tempPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
            if (fd < 0 && errno != EEXIST) {
                break;
            }
        }
        if (fd < 0) {
            m_errorNumber = errno;
            *error = targetPath + ": " + SystemReason(errno);
            m_tempPath.clear();
            return false;
        }
        RegisterTemporaryFile(m_tempPath);
    }
    FILE* file = ::fdopen(fd, "w+b");
    if (file == nullptr) {
        const int saved = errno;
        ::close(fd);
        Discard();
        m_errorNumber = saved;
        *error = targetPath + ": " + SystemReason(saved);
        return false;
    }
    m_file.Reset(file);
    return true;
}

void AtomicFile::ForgetTemporary() {
    UnregisterTemporaryFile(m_tempPath);
    m_tempPath.clear();
}

// A replaced file keeps what it was: its permissions, and its owner and group when root
// replaces it (others cannot give files away).
void AtomicFile::KeepTargetsOwnership() {
    struct stat old {};
    if (::stat(m_targetPath.c_str(), &old) != 0) {
        return;
    }
    const int fd = ::fileno(m_file.Get());
    if (::geteuid() == 0) {
        (void)::fchown(fd, old.st_uid, old.st_gid);
    }
    (void)::fchmod(fd, old.st_mode & 07777);
}

bool AtomicFile::LinkInto(const std::string& name) {
    if (!m_tempPath.empty()) {
        return ::link(m_tempPath.c_str(), name.c_str()) == 0;
    }
    const std::string self = "/proc/self/fd/" + std::to_string(::fileno(m_file.Get()));
    return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

bool AtomicFile::Commit(std::string* error, bool durable, bool replace) {
    FILE* file = m_file.Get();
    if (file == nullptr) {
        *error = m_shownPath + ": not open";
        return false;
    }
    const auto fail = [&](int errorNumber) {
        m_targetExists = errorNumber == EEXIST && !replace;
        m_errorNumber = errorNumber != 0 ? errorNumber : EIO;
        *error = m_shownPath + (errorNumber == EEXIST && !replace
                                    ? ": already exists"
                                    : ": " + SystemReason(errorNumber != 0 ? errorNumber : EIO));
        Discard();
        return false;
    };
    errno = 0;
    if (std::fflush(file) != 0 || std::ferror(file) != 0 ||
        (durable && ::fsync(::fileno(file)) != 0)) {
        return fail(errno);
    }
    if (replace) {
        KeepTargetsOwnership();
    }
    if (!replace) {
        // Linking fails when the name is taken, so an existing file is never touched.
        if (!LinkInto(m_targetPath)) {
            return fail(errno);
        }
    } else if (!m_tempPath.empty()) {
        if (std::rename(m_tempPath.c_str(), m_targetPath.c_str()) != 0) {
            return fail(errno);
        }
        ForgetTemporary();
    } else {
        // An unnamed file gets a temporary name first; the rename then replaces atomically.
        std::string name;
        bool linked = false;
        for (int attempt = 0; attempt < 100 && !linked; ++attempt) {
            name = TemporaryName(m_folder);
            linked = LinkInto(name);
            if (!linked && errno != EEXIST) {
                break;
            }
        }
        if (!linked) {
            return fail(errno);
        }
        if (std::rename(name.c_str(), m_targetPath.c_str()) != 0) {
            const int saved = errno;
            ::unlink(name.c_str());
            return fail(saved);
        }
    }
    if (!m_tempPath.empty()) {
        ::unlink(m_tempPath.c_str());  // linked under the target's name: the temporary goes
        ForgetTemporary();
    }
    if (!m_file.Close()) {
        m_errorNumber = errno != 0 ? errno : EIO;
        *error = m_shownPath + ": " + SystemReason(m_errorNumber);
        return false;
    }
    return true;
}

void AtomicFile::Discard() {
    m_file.Reset();
    if (!m_tempPath.empty()) {
        ::unlink(m_tempPath.c_str());
        ForgetTemporary();
    }
}

}  // namespace zok
