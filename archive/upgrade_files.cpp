#include "archive/upgrade_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "io/atomic_file.h"
#include "io/names.h"
#include "io/regular_file.h"
#include "io/system_reason.h"
#include "io/temporary_files.h"

namespace zok {

namespace {

constexpr size_t kPieceSize = 1 << 20;

// A copy of the old archive's bytes under a new name, for a file system without hard links.
bool CopyFile(const std::string& from, const std::string& to) {
    std::string reason;
    // The copy is created only once the archive is open: a failed backup leaves no file.
    FileHandle in = OpenRegularFile(from, &reason);
    if (!in) {
        return false;
    }
    const int fd = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    FileHandle out(::fdopen(fd, "wb"));
    std::vector<char> piece(kPieceSize);
    bool ok = static_cast<bool>(out);
    for (size_t n; ok && (n = std::fread(piece.data(), 1, piece.size(), in.Get())) > 0;) {
        ok = std::fwrite(piece.data(), 1, n, out.Get()) == n;
    }
    ok = ok && std::ferror(in.Get()) == 0 && out.Close();
    if (!ok) {
        ::unlink(to.c_str());
    }
    return ok;
}

}  // namespace

bool KeptBackup::Keep(const std::string& archivePath, const std::string& note) {
    const std::string folder(DirectoryPart(archivePath));
    const std::string archiveName = archivePath.substr(folder.size());
    std::string name = "~" + archiveName;
    while (NameTaken(folder + name)) {
        name = "~" + name;
    }
    m_path = folder + name;
    m_folder.Reset(::open(FolderOf(archivePath).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    struct stat archive {};
    if (!m_folder || ::fstatat(m_folder.Get(), archiveName.c_str(), &archive, 0) != 0) {
        return false;
    }
    // Noted before it is made: a signal at any moment leaves either nothing or what it says.
    m_ticket = RegisterBackup(m_folder.Get(), name, archiveName, archive.st_dev, archive.st_ino,
                              note + m_path + "\n");
    TemporaryFilePoint("noted");
    m_made =
        ::linkat(AT_FDCWD, archivePath.c_str(), AT_FDCWD, m_path.c_str(), AT_SYMLINK_FOLLOW) == 0 ||
        CopyFile(archivePath, m_path);
    if (!m_made) {
        const int saved = errno;
        UnregisterTemporaryFile(m_ticket);
        m_ticket = -1;
        errno = saved;
        return false;
    }
    TemporaryFilePoint("created");
    return true;
}

void KeptBackup::Remove() {
    if (m_made) {
        ::unlink(m_path.c_str());
        m_made = false;
    }
    Release();
}

void KeptBackup::Release() {
    UnregisterTemporaryFile(m_ticket);
    m_ticket = -1;
    m_made = false;
}

bool ScratchFile::Create(const std::string& path, Error* error) {
    const std::string where = FolderOf(path);
    int fd = ::open(where.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) {
        std::string pattern = where + "/.zok-scratch-XXXXXX";
        fd = ::mkstemp(pattern.data());
        if (fd >= 0) {
            ::unlink(pattern.c_str());
        }
    }
    if (fd < 0) {
        *error = MakeError(ErrorCode::CannotWrite, where, "", errno);
        return false;
    }
    m_file.Reset(::fdopen(fd, "w+b"));
    if (!m_file) {
        *error = MakeError(ErrorCode::OutOfMemory, where, "", errno);
        ::close(fd);
        return false;
    }
    m_folder = where;
    return true;
}

bool ScratchFile::Fill(EntryReader& reader, const std::function<bool(uint64_t)>& onRead,
                       Error* damage, Error* error) {
    FILE* f = m_file.Get();
    std::clearerr(f);
    errno = 0;
    if (fseeko(f, 0, SEEK_SET) != 0 || ::ftruncate(::fileno(f), 0) != 0) {
        return WriteError(error);
    }
    bool written = true;
    const Error read = DrainEntry(
        reader,
        [&](const uint8_t* bytes, size_t size) {
            written = std::fwrite(bytes, 1, size, f) == size;
            return written && onRead(size);
        },
        nullptr, kPieceSize);
    if (!written) {
        return WriteError(error);
    }
    if (read.code == ErrorCode::Cancelled) {
        return false;
    }
    if (read) {
        *damage = read;
        return false;
    }
    if (std::fflush(f) != 0 || fseeko(f, 0, SEEK_SET) != 0) {
        return WriteError(error);
    }
    return true;
}

bool ScratchFile::WriteError(Error* error) const {
    *error = MakeError(ErrorCode::CannotWrite, m_folder, "", errno != 0 ? errno : EIO);
    return false;
}

}  // namespace zok
