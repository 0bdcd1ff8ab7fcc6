#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "io/file_handle.h"
#include "zok/entry_reader.h"

namespace zok {

// The files an upgrade handles beside the archives themselves.

// The scratch file that carries one entry's content from the old archive to its codec. It has
// no name (created unnamed, or unlinked at once), so nothing of it outlives the upgrade.
class ScratchFile {
public:
    // Creates it in the folder of path (the archive being upgraded).
    bool Create(const std::string& path, std::string* error);

    bool IsOpen() const { return static_cast<bool>(m_file); }
    FILE* Get() const { return m_file.Get(); }

    // Replaces the file's content by the entry's content, streamed in pieces, and rewinds it.
    // False with *damage set when the entry is damaged, with *error set when the file cannot
    // be written. onRead hears of every piece and returns false to stop (both messages stay
    // empty then).
    bool Fill(EntryReader& reader, const std::function<bool(uint64_t)>& onRead, std::string* damage,
              std::string* error);

private:
    bool WriteError(std::string* error) const;

    std::string m_folder;
    FileHandle m_file;
};

// The old archive stays beside the new one as ~NAME (another "~" for every name taken): a hard
// link to the same bytes, or a copy where the file system has no links, made before the new
// archive takes the name. False with errno set when neither works; *backup names it either way.
bool KeepOldArchive(const std::string& path, std::string* backup);

}  // namespace zok
