#include "job/input_list.h"

#include <algorithm>
#include <filesystem>

#include "job/file_measure.h"
#include "job/korean_words.h"
#include "zok/inputs.h"
#include "zok/names.h"

namespace zok {

bool InputList::IsNewFile(const std::string& path) const {
    return m_foldedPaths.find(EntryNameKey(path)) == m_foldedPaths.end();
}

bool InputList::Add(const std::string& path, uint32_t size) {
    if (!m_foldedPaths.insert(EntryNameKey(path)).second) {
        return false;
    }
    m_files.Add(path);
    m_sizes.push_back(size);
    m_nFileCount += 1;
    m_nTotalSize += size;
    return true;
}

size_t InputList::AddMeasured(const std::vector<std::string>& paths,
                              std::vector<std::string>* failures) {
    size_t added = 0;
    for (const std::string& path : paths) {
        std::error_code ec;
        added += std::filesystem::is_directory(path, ec) ? AddFolder(path, failures)
                                                         : AddFile(path, failures);
    }
    return added;
}

size_t InputList::AddFile(const std::string& path, std::vector<std::string>* failures) {
    // A listed file is passed over before anything is measured.
    if (!IsNewFile(path)) {
        return 0;
    }
    const FileMeasure measure = MeasureFile(path);
    if (!measure.ok) {
        failures->push_back(path + ": " + measure.reason);
        return 0;
    }
    return Add(path, measure.size) ? 1 : 0;
}

size_t InputList::AddFolder(const std::string& folder, std::vector<std::string>* failures) {
    const InputFiles walked = ExpandInputFolders({folder});
    for (const Error& problem : walked.problems) {
        failures->push_back(problem.path + ": " + KoreanReason(problem));
    }
    // The folder's new files after the listed ones: a clash that names one of them refuses it.
    std::vector<std::string> candidates = Paths();
    const size_t listed = candidates.size();
    for (const std::string& file : walked.files) {
        if (IsNewFile(file)) {
            candidates.push_back(file);
        }
    }
    std::unordered_set<std::string> refused;
    for (const Error& clash : FindNameClashes(candidates)) {
        failures->push_back(clash.path + ": " + KoreanReason(clash) + " (" + clash.detail + ")");
        refused.insert(clash.path);
    }
    size_t added = 0;
    for (size_t i = listed; i < candidates.size(); ++i) {
        if (refused.count(candidates[i]) == 0) {
            added += AddFile(candidates[i], failures);
        }
    }
    return added;
}

void InputList::RemoveRows(std::vector<int> rows) {
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    // From the highest row down, so that the lower rows keep their indices.
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        const int row = *it;
        if (row < 0 || row >= m_nFileCount) {
            continue;
        }
        m_nTotalSize -= m_sizes[size_t(row)];
        m_foldedPaths.erase(EntryNameKey(m_files.GetAt(row)));
        m_files.RemoveAt(row);
        m_sizes.erase(m_sizes.begin() + row);
        m_nFileCount -= 1;
    }
}

std::vector<std::string> InputList::Paths() const {
    std::vector<std::string> paths;
    paths.reserve(size_t(m_nFileCount));
    for (int32_t i = 0; i < m_nFileCount; ++i) {
        paths.push_back(m_files.GetAt(i));
    }
    return paths;
}

}  // namespace zok
