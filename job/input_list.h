#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "job/file_list.h"

namespace zok {

// The main window's input files, kept in step: the file list, the size each file had when it
// was listed, the duplicate check (paths compared without regard to the case of ASCII letters)
// and the two counters. Position i is the window's row i. The window only shows it.
class InputList {
public:
    // True when no listed path equals path without regard to the case of ASCII letters.
    bool IsNewFile(const std::string& path) const;
    // Appends a measured file; false, with nothing changed, when it is listed already.
    bool Add(const std::string& path, uint32_t size);
    // Measures each path not yet listed and appends it; for each that cannot be listed,
    // "path: reason" (in Korean) goes into failures. Listed paths are passed over silently.
    // A folder gives its files as `zok create` walks it (ExpandInputFolders); a file of it whose
    // entry name a listed file gives already (letter case ignored) is not listed but named in
    // failures, since only one of them could be found by name. Returns how many were appended.
    size_t AddMeasured(const std::vector<std::string>& paths, std::vector<std::string>* failures);
    // Removes the positions given (in any order), highest first, each with the size it was
    // listed with.
    void RemoveRows(std::vector<int> rows);

    int32_t FileCount() const { return m_nFileCount; }
    uint64_t TotalSize() const { return m_nTotalSize; }
    const CFileList& Files() const { return m_files; }
    // The listed paths in list order, for a compression job.
    std::vector<std::string> Paths() const;

private:
    size_t AddFile(const std::string& path, std::vector<std::string>* failures);
    size_t AddFolder(const std::string& folder, std::vector<std::string>* failures);

    CFileList m_files;
    int32_t m_nFileCount = 0;
    uint64_t m_nTotalSize = 0;
    std::vector<uint32_t> m_sizes;
    std::unordered_set<std::string> m_foldedPaths;
};

}  // namespace zok
