#include <algorithm>
#include <filesystem>
#include <unordered_map>

#include "archive/input_folders.h"
#include "zok/names.h"

namespace zok {

namespace fs = std::filesystem;

void WalkInputFolder(const std::string& folder, InputFiles& inputs) {
    std::vector<std::string> found;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (!it->is_directory(typeError)) {
            found.push_back(it->path().string());
        }
    }
    if (ec) {
        inputs.problems.push_back(MakeError(ErrorCode::CannotRead, folder, "", ec.value()));
    }
    std::sort(found.begin(), found.end());
    inputs.files.insert(inputs.files.end(), found.begin(), found.end());
}

InputFiles ExpandInputFolders(const std::vector<std::string>& paths) {
    InputFiles inputs;
    for (const std::string& path : paths) {
        std::error_code ec;
        if (fs::is_directory(path, ec)) {
            WalkInputFolder(path, inputs);
        } else {
            inputs.files.push_back(path);
        }
    }
    return inputs;
}

std::vector<Error> FindNameClashes(const std::vector<std::string>& files) {
    std::vector<Error> clashes;
    std::unordered_map<std::string, const std::string*> firstWithName;
    for (const std::string& path : files) {
        const std::string name = EntryNameOf(path);
        const auto [it, isNew] = firstWithName.emplace(EntryNameKey(name), &path);
        if (!isNew) {
            Error clash = MakeError(ErrorCode::DuplicateName, path, name);
            clash.detail = *it->second;
            clashes.push_back(std::move(clash));
        }
    }
    return clashes;
}

}  // namespace zok
