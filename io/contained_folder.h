#pragma once

#include <sys/stat.h>

#include <string>

#include "io/unique_fd.h"
#include "zok/error.h"

namespace zok {

// A folder that files are written into, opened once: every name in it is resolved relative to
// its descriptor by the kernel (openat2 with RESOLVE_BENEATH and RESOLVE_NO_MAGICLINKS), so no
// path outside it can be reached, whatever is renamed or linked in it meanwhile. A symbolic
// link inside it is followed only while it stays inside (an absolute link never is).
class ContainedFolder {
public:
    // Opens the folder at path, made first (with its parents) when create is set and it is
    // missing. False with *error (NoFolder and the system's reason).
    bool Open(const std::string& path, bool create, Error* error);

    int Fd() const { return m_fd.Get(); }
    const std::string& Path() const { return m_path; }

    // Where a file of one name in the folder is written.
    struct Target {
        UniqueFd parent;       // the folder the file lies in: this one or one inside it
        std::string name;      // its name there (no link)
        std::string relative;  // its path relative to this folder ("name", "sub/file")
        bool exists = false;
        struct stat status {};  // valid when it exists
    };

    // Resolves name (one path component), following symbolic links while they stay inside.
    // False with *error: LinkLeadsOut for a link that leads out (or is absolute), IsAFolder for
    // one that leads to a folder, CannotWrite with the system's reason otherwise. The error's
    // path is the folder's path and the name.
    bool Resolve(const std::string& name, Target* target, Error* error) const;

private:
    UniqueFd m_fd;
    std::string m_path;
};

}  // namespace zok
