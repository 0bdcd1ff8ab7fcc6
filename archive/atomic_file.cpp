#include "archive/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>
#include <vector>

std::string SystemReason(int errorNumber) {
    return std::strerror(errorNumber);
}

namespace {

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

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
    m_targetPath = targetPath;
    m_folder = FolderOf(targetPath);
    const mode_t mode = DefaultFileMode();
    int fd = ::open(m_folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
    if (fd < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
        *error = targetPath + ": " + SystemReason(errno);
        return false;
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
            *error = targetPath + ": " + SystemReason(errno);
            m_tempPath.clear();
            return false;
        }
    }
    FILE* file = ::fdopen(fd, "w+b");
    if (file == nullptr) {
        const int saved = errno;
        ::close(fd);
        Discard();
        *error = targetPath + ": " + SystemReason(saved);
        return false;
    }
    m_file.Reset(file);
    return true;
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
        *error = m_targetPath + ": not open";
        return false;
    }
    const auto fail = [&](int errorNumber) {
        m_targetExists = errorNumber == EEXIST && !replace;
        *error = m_targetPath + (errorNumber == EEXIST && !replace
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
    if (!replace) {
        // Linking fails when the name is taken, so an existing file is never touched.
        if (!LinkInto(m_targetPath)) {
            return fail(errno);
        }
    } else if (!m_tempPath.empty()) {
        if (std::rename(m_tempPath.c_str(), m_targetPath.c_str()) != 0) {
            return fail(errno);
        }
        m_tempPath.clear();
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
        m_tempPath.clear();
    }
    if (!m_file.Close()) {
        *error = m_targetPath + ": " + SystemReason(errno != 0 ? errno : EIO);
        return false;
    }
    return true;
}

void AtomicFile::Discard() {
    m_file.Reset();
    if (!m_tempPath.empty()) {
        ::unlink(m_tempPath.c_str());
        m_tempPath.clear();
    }
}
