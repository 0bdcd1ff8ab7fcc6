#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "io/file_handle.h"
#include "io/unique_fd.h"
#include "zok/entry_reader.h"
#include "zok/error.h"

namespace zok {

// The files an upgrade handles beside the archives themselves.

// The scratch file that carries one entry's content from the old archive to its codec. It has
// no name (created unnamed, or unlinked at once), so nothing of it outlives the upgrade.
class ScratchFile {
public:
    // Creates it in the folder of path (the new archive).
    bool Create(const std::string& path, Error* error);

    bool IsOpen() const { return static_cast<bool>(m_file); }
    FILE* Get() const { return m_file.Get(); }

    // Replaces the file's content by the entry's content, streamed in pieces, and rewinds it.
    // False with *damage set when the entry is damaged, with *error set when the file cannot
    // be written. onRead hears of every piece and returns false to stop (both stay empty then).
    bool Fill(EntryReader& reader, const std::function<bool(uint64_t)>& onRead, Error* damage,
              Error* error);

private:
    bool WriteError(Error* error) const;

    std::string m_folder;
    FileHandle m_file;
};

// The old archive kept beside the new one as ~NAME (another "~" for every name taken): a hard
// link to the same bytes, or a copy where the file system has no links, made before the new
// archive takes the name. Until Release it is noted for the signal handlers: a signal removes
// it while the old archive still stands under its name (nothing is lost then), and once the new
// archive has taken the name it is kept and note + its path is written to the standard error.
class KeptBackup {
public:
    KeptBackup() = default;
    ~KeptBackup() { Remove(); }
    KeptBackup(const KeptBackup&) = delete;
    KeptBackup& operator=(const KeptBackup&) = delete;

    // False with errno set when neither a link nor a copy can be made.
    bool Keep(const std::string& archivePath, const std::string& note);
    // The backup's path (also after a failed Keep).
    const std::string& Path() const { return m_path; }
    // The new archive did not take the name: the backup goes.
    void Remove();
    // The new archive took the name: the backup stays.
    void Release();

private:
    std::string m_path;
    UniqueFd m_folder;
    int m_ticket = -1;
    bool m_made = false;
};

}  // namespace zok
