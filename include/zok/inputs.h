#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "zok/error.h"
#include "zok/export.h"

namespace zok {

// The files that a program packs when its user names files and folders, as `zok create` and
// the desktop program's Add take them.
//
// The format stores file names only: a file in a subfolder becomes an entry of its own name
// ("sub/level1.dat" is "level1.dat"), so folders flatten, and two files of one name (letter
// case ignored, as lookups compare) would give two entries of which only the first can be
// found by name. FindNameClashes names such files before anything is written.

// The files that paths give, in packing order.
struct InputFiles {
    std::vector<std::string> files;
    // Folders that could not be read whole: CannotRead with the folder as path and errno.
    std::vector<Error> problems;
};

// Each path as it is, except a folder: it gives its files and those of its subfolders, sorted
// by path (a link to a folder is not followed; a link to a file is a file).
ZOK_API InputFiles ExpandInputFolders(const std::vector<std::string>& paths);

// One DuplicateName error for every file whose entry name an earlier file of files gives
// already (letter case ignored): path is the later file, entry its name, and detail the
// earlier file that gives the name first. In the order of files; empty when every name is
// unique.
ZOK_API std::vector<Error> FindNameClashes(const std::vector<std::string>& files);

class CheckedInputs;

// The files that paths give, as ExpandInputFolders gives them, opened once for one build (the
// BuildArchive that takes a set). Each path is opened without blocking and measured by one
// fstat, which tells a folder (walked) from a file; a file keeps that descriptor and measure,
// and the build checks and reads that very file without opening or measuring it again. A path
// that cannot be opened is looked at with stat (a folder that cannot be read is a problem; a
// file is named by the build's check). Files found in folders are opened by the build.
//
// At most as many descriptors are kept as a build keeps (half the process's descriptor limit,
// 4096 at most); a file past them is opened by the build in its turn. A file that changes
// between its opening here and its read fails the build (FileChanged), as one that changes
// while it is read does.
class ZOK_API InputSet {
public:
    explicit InputSet(const std::vector<std::string>& paths);
    ~InputSet();
    InputSet(InputSet&& other) noexcept;
    InputSet& operator=(InputSet&& other) noexcept;
    InputSet(const InputSet&) = delete;
    InputSet& operator=(const InputSet&) = delete;

    // The files in packing order, and the folders that could not be read whole.
    const InputFiles& Files() const;

    // Leaves out every file for which leave(path) is true, closing what was opened for it.
    void RemoveIf(const std::function<bool(const std::string& path)>& leave);

private:
    friend class CheckedInputs;
    struct ZOK_LOCAL State;
    std::unique_ptr<State> m_state;
};

}  // namespace zok
