#include "archive/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
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

}  // namespace

AtomicFile::~AtomicFile() {
    Discard();
}

bool AtomicFile::Create(const std::string& targetPath, std::string* error) {
    Discard();
    m_targetPath = targetPath;
    const std::string folder = FolderOf(targetPath);
    const size_t slash = targetPath.rfind('/');
    const std::string base = slash == std::string::npos ? targetPath : targetPath.substr(slash + 1);
    std::string pattern = folder + "/." + base + ".XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        *error = targetPath + ": " + SystemReason(errno);
        return false;
    }
    m_tempPath = name.data();
    // mkstemp makes the file private; give it the mode a new file would get.
    (void)::fchmod(fd, DefaultFileMode());
    FILE* file = ::fdopen(fd, "w+b");
    if (file == nullptr) {
        const int saved = errno;
        ::close(fd);
        ::unlink(m_tempPath.c_str());
        m_tempPath.clear();
        *error = targetPath + ": " + SystemReason(saved);
        return false;
    }
    m_file.Reset(file);
    return true;
}

bool AtomicFile::Commit(std::string* error, bool durable) {
    FILE* file = m_file.Get();
    if (file == nullptr) {
        *error = m_targetPath + ": not open";
        return false;
    }
    errno = 0;
    if (std::fflush(file) != 0 || std::ferror(file) != 0 ||
        (durable && ::fsync(::fileno(file)) != 0)) {
        *error = m_targetPath + ": " + SystemReason(errno != 0 ? errno : EIO);
        Discard();
        return false;
    }
    if (!m_file.Close()) {
        *error = m_targetPath + ": " + SystemReason(errno != 0 ? errno : EIO);
        Discard();
        return false;
    }
    if (std::rename(m_tempPath.c_str(), m_targetPath.c_str()) != 0) {
        *error = m_targetPath + ": " + SystemReason(errno);
        Discard();
        return false;
    }
    m_tempPath.clear();
    return true;
}

void AtomicFile::Discard() {
    m_file.Reset();
    if (!m_tempPath.empty()) {
        ::unlink(m_tempPath.c_str());
        m_tempPath.clear();
    }
}
