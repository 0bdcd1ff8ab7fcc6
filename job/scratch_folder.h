#pragma once

#include <string>

#include "zok/error.h"

namespace zok {

// A private folder for a while, in $TMPDIR (else /tmp): made with mkdtemp, noted for the
// signal handlers (zok/cleanup.h) and removed with its files when it goes, so that nothing of
// it outlives the program. `zok create -` builds its archive there before copying it out.
class ScratchFolder {
public:
    ScratchFolder() = default;
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // Makes the folder; false with *error (CannotWrite, naming the folder it would lie in).
    bool Create(Error* error);
    // The path of name inside it.
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
    int m_ticket = -1;
};

}  // namespace zok
