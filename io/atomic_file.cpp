#include "io/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <random>

#include "io/links.h"
#include "io/names.h"
#include "io/regular_file.h"
#include "io/temporary_files.h"

namespace zok {

namespace {

std::atomic<bool> g_unnamedFiles{true};
std::atomic<bool> g_emptyPathLinks{true};
std::atomic<bool> g_procLinks{true};

mode_t DefaultFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// A short hidden name that nothing else uses yet: the target's own name is never part of it, so
// even a target name of the longest length allowed gets one.
std::string TemporaryName() {
    static thread_local std::mt19937_64 random{std::random_device{}()};
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string name = ".zok-";
    for (int i = 0; i < 10; ++i) {
        name.push_back(kLetters[random() % (sizeof kLetters - 1)]);
    }
    return name;
}

enum class LinkResult { Linked, Taken, Unsupported, Failed };

// Gives the unnamed file fd the name folder/name: through the descriptor itself where the
// system allows it, else through /proc/self/fd. Unsupported when neither way works here (no
// /proc, no permission to link by descriptor).
LinkResult LinkUnnamed(int fd, int folder, const std::string& name) {
    const auto unsupported = [](int e) {
        return e == ENOENT || e == EPERM || e == ENOTSUP || e == EINVAL || e == ENOSYS;
    };
    int error = ENOTSUP;
    if (g_emptyPathLinks.load()) {
        if (::linkat(fd, "", folder, name.c_str(), AT_EMPTY_PATH) == 0) {
            return LinkResult::Linked;
        }
        error = errno;
        if (!unsupported(error)) {
            return error == EEXIST ? LinkResult::Taken : LinkResult::Failed;
        }
    }
    if (g_procLinks.load()) {
        const std::string self = "/proc/self/fd/" + std::to_string(fd);
        if (::linkat(AT_FDCWD, self.c_str(), folder, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            return LinkResult::Linked;
        }
        error = errno;
        if (!unsupported(error)) {
            return error == EEXIST ? LinkResult::Taken : LinkResult::Failed;
        }
    }
    errno = error;
    return LinkResult::Unsupported;
}

// Copies the whole content of from into to, by position.
bool CopyContent(int from, int to) {
    char buffer[64 * 1024];
    for (off_t at = 0;;) {
        const ssize_t n = ::pread(from, buffer, sizeof buffer, at);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return n == 0;
        }
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::pwrite(to, buffer + done, size_t(n - done), at + done);
            if (w < 0 && errno == EINTR) {
                continue;
            }
            if (w <= 0) {
                return false;
            }
            done += w;
        }
        at += n;
    }
}

}  // namespace

void SetUnnamedFilesForTest(bool unnamedFiles, bool emptyPathLinks, bool procLinks) {
    g_unnamedFiles.store(unnamedFiles);
    g_emptyPathLinks.store(emptyPathLinks);
    g_procLinks.store(procLinks);
}

AtomicFile::~AtomicFile() {
    Discard();
}

bool AtomicFile::Fail(ErrorCode code, int errorNumber, Error* error) {
    *error = MakeError(code, m_shownPath, "", errorNumber);
    Discard();
    return false;
}

bool AtomicFile::Create(const std::string& targetPath, Error* error) {
    m_shownPath = targetPath;
    std::string resolved;
    int linkError = 0;
    if (!FollowLinks(targetPath, &resolved, &linkError)) {
        return Fail(ErrorCode::CannotWrite, linkError, error);
    }
    const UniqueFd folder(::open(FolderOf(resolved).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!folder) {
        return Fail(ErrorCode::CannotWrite, errno, error);
    }
    return CreateIn(folder.Get(), std::string(BaseName(resolved)), targetPath, error);
}

bool AtomicFile::CreateIn(int folder, const std::string& name, const std::string& shownPath,
                          Error* error) {
    Discard();
    m_shownPath = shownPath;
    m_name = name;
    m_folder.Reset(::fcntl(folder, F_DUPFD_CLOEXEC, 0));
    if (!m_folder) {
        return Fail(ErrorCode::CannotWrite, errno, error);
    }
    struct stat existing {};
    if (::fstatat(folder, name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0 &&
        !S_ISREG(existing.st_mode) && !S_ISLNK(existing.st_mode)) {
        return Fail(NotRegularCode(existing.st_mode), 0, error);
    }
    const mode_t mode = DefaultFileMode();
    int fd = -1;
    if (g_unnamedFiles.load()) {
        fd = ::openat(m_folder.Get(), ".", O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
        if (fd < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
            return Fail(ErrorCode::CannotWrite, errno, error);
        }
    }
    if (fd < 0) {
        return CreateNamed(mode, error);
    }
    return Adopt(fd, error);
}

// The new file's stream over fd, which it owns from here.
bool AtomicFile::Adopt(int fd, Error* error) {
    m_file.Reset(::fdopen(fd, "w+b"));
    if (!m_file) {
        const int saved = errno;
        ::close(fd);
        return Fail(ErrorCode::OutOfMemory, saved, error);
    }
    return true;
}

// No unnamed files here: a hidden temporary name, noted before it is created and removed
// again on every failure.
bool AtomicFile::CreateNamed(mode_t mode, Error* error) {
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        m_tempName = TemporaryName();
        m_ticket = RegisterTemporaryFile(m_folder.Get(), m_tempName);
        TemporaryFilePoint("noted");
        fd = ::openat(m_folder.Get(), m_tempName.c_str(),
                      O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd < 0) {
            const int saved = errno;
            ForgetTemporary();
            if (saved != EEXIST) {
                return Fail(ErrorCode::CannotWrite, saved, error);
            }
        }
    }
    if (fd < 0) {
        return Fail(ErrorCode::CannotWrite, EEXIST, error);
    }
    TemporaryFilePoint("created");
    return Adopt(fd, error);
}

void AtomicFile::ForgetTemporary() {
    UnregisterTemporaryFile(m_ticket);
    m_ticket = -1;
    m_tempName.clear();
}

// A replaced file keeps what it was: its permissions, and its owner and group when root
// replaces it (others cannot give files away).
void AtomicFile::KeepTargetsOwnership() {
    struct stat old {};
    if (::fstatat(m_folder.Get(), m_name.c_str(), &old, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(old.st_mode)) {
        return;
    }
    const int fd = ::fileno(m_file.Get());
    if (::geteuid() == 0) {
        (void)::fchown(fd, old.st_uid, old.st_gid);
    }
    (void)::fchmod(fd, old.st_mode & 07777);
}

// The unnamed file cannot be linked here after all: its content moves to a named temporary
// file, and the files that follow are named from the start.
bool AtomicFile::NameUnnamedFile(Error* error) {
    g_unnamedFiles.store(false);
    FileHandle unnamed = std::move(m_file);
    struct stat st {};
    if (::fstat(::fileno(unnamed.Get()), &st) != 0) {
        return Fail(ErrorCode::CannotWrite, errno, error);
    }
    if (!CreateNamed(st.st_mode & 07777, error)) {
        return false;
    }
    if (!CopyContent(::fileno(unnamed.Get()), ::fileno(m_file.Get()))) {
        return Fail(ErrorCode::CannotWrite, errno != 0 ? errno : EIO, error);
    }
    (void)::fchmod(::fileno(m_file.Get()), st.st_mode & 07777);
    return true;
}

bool AtomicFile::CommitNamed(bool replace, Error* error) {
    const int folder = m_folder.Get();
    if (replace) {
        if (::renameat(folder, m_tempName.c_str(), folder, m_name.c_str()) != 0) {
            return Fail(ErrorCode::CannotWrite, errno, error);
        }
        TemporaryFilePoint("renamed");
        ForgetTemporary();
        return true;
    }
    // Linking fails when the name is taken, so an existing file is never touched.
    if (::linkat(folder, m_tempName.c_str(), folder, m_name.c_str(), 0) != 0) {
        const int saved = errno;
        return Fail(saved == EEXIST ? ErrorCode::AlreadyExists : ErrorCode::CannotWrite, saved,
                    error);
    }
    TemporaryFilePoint("linked");
    ::unlinkat(folder, m_tempName.c_str(), 0);
    TemporaryFilePoint("removed");
    ForgetTemporary();
    return true;
}

bool AtomicFile::CommitUnnamed(bool replace, Error* error) {
    const int folder = m_folder.Get();
    const int fd = ::fileno(m_file.Get());
    if (!replace) {
        switch (LinkUnnamed(fd, folder, m_name)) {
            case LinkResult::Linked:
                return true;
            case LinkResult::Taken:
                return Fail(ErrorCode::AlreadyExists, EEXIST, error);
            case LinkResult::Failed:
                return Fail(ErrorCode::CannotWrite, errno, error);
            case LinkResult::Unsupported:
                return NameUnnamedFile(error) && CommitNamed(false, error);
        }
    }
    // A second name first, noted before it exists; the rename then replaces atomically.
    for (int attempt = 0; attempt < 100; ++attempt) {
        m_tempName = TemporaryName();
        m_ticket = RegisterTemporaryFile(folder, m_tempName);
        TemporaryFilePoint("noted");
        const LinkResult linked = LinkUnnamed(fd, folder, m_tempName);
        const int saved = errno;
        if (linked == LinkResult::Linked) {
            TemporaryFilePoint("linked");
            return CommitNamed(true, error);
        }
        ForgetTemporary();
        if (linked == LinkResult::Unsupported) {
            if (!NameUnnamedFile(error)) {
                return false;
            }
            KeepTargetsOwnership();
            return CommitNamed(true, error);
        }
        if (linked == LinkResult::Failed) {
            return Fail(ErrorCode::CannotWrite, saved, error);
        }
    }
    return Fail(ErrorCode::CannotWrite, EEXIST, error);
}

bool AtomicFile::Commit(Error* error, bool durable, bool replace) {
    FILE* file = m_file.Get();
    if (file == nullptr) {
        *error = MakeError(ErrorCode::CannotWrite, m_shownPath, "", EBADF);
        return false;
    }
    errno = 0;
    if (std::fflush(file) != 0 || std::ferror(file) != 0 ||
        (durable && ::fsync(::fileno(file)) != 0)) {
        return Fail(ErrorCode::CannotWrite, errno != 0 ? errno : EIO, error);
    }
    if (replace) {
        KeepTargetsOwnership();
    }
    const bool placed =
        m_tempName.empty() ? CommitUnnamed(replace, error) : CommitNamed(replace, error);
    if (!placed) {
        return false;
    }
    struct stat st {};
    if (::fstat(::fileno(m_file.Get()), &st) == 0) {
        m_device = st.st_dev;
        m_inode = st.st_ino;
    }
    if (!m_file.Close()) {
        *error = MakeError(ErrorCode::CannotWrite, m_shownPath, "", errno != 0 ? errno : EIO);
        return false;
    }
    return true;
}

void AtomicFile::Discard() {
    m_file.Reset();
    if (!m_tempName.empty()) {
        ::unlinkat(m_folder.Get(), m_tempName.c_str(), 0);
        ForgetTemporary();
    }
}

}  // namespace zok
