#include "cli/create_inputs.h"

#include <algorithm>
#include <filesystem>
#include <unordered_map>

#include "zok/names.h"
#include "zok/zok_file.h"

using namespace zok;

namespace {

namespace fs = std::filesystem;

// The files under folder, sorted by path, subfolders included (links to folders not followed).
void Walk(const std::string& folder, CreateInputs& inputs) {
    std::vector<std::string> found;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (!it->is_directory(typeError)) {
            found.push_back(it->path().string());
        }
    }
    if (ec) {
        inputs.problems.push_back(folder + ": cannot read the folder: " + ec.message());
    }
    std::sort(found.begin(), found.end());
    inputs.files.insert(inputs.files.end(), found.begin(), found.end());
}

// True when path is the very file the archive is written to (links followed).
bool SameOutput(const std::string& path, const std::string& output) {
    std::error_code ec;
    return std::filesystem::equivalent(path, output, ec) && !ec;
}

bool IsZokArchive(const std::string& path) {
    try {
        CZokFile zok(path);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace

CreateInputs GatherCreateInputs(const std::vector<std::string>& named, const std::string& output) {
    CreateInputs inputs;
    std::vector<std::string> all;
    for (const std::string& path : named) {
        std::error_code ec;
        if (fs::is_directory(path, ec)) {
            CreateInputs walked;
            Walk(path, walked);
            all.insert(all.end(), walked.files.begin(), walked.files.end());
            inputs.problems.insert(inputs.problems.end(), walked.problems.begin(),
                                   walked.problems.end());
        } else {
            all.push_back(path);
        }
    }
    std::unordered_map<std::string, std::string> firstWithName;
    // Only an output that exists can be among the inputs: looked at once, not once an input.
    std::error_code ec;
    const bool outputExists = std::filesystem::exists(output, ec);
    for (const std::string& path : all) {
        if (outputExists && SameOutput(path, output) && IsZokArchive(path)) {
            inputs.warnings.push_back(path + ": skipped: it is the archive being written");
            continue;
        }
        const std::string name = EntryNameOf(path);
        const auto [it, isNew] = firstWithName.emplace(EntryNameKey(name), path);
        if (!isNew) {
            inputs.warnings.push_back(path + ": the name \"" + name + "\" is already used by " +
                                      it->second + "; only the first can be found by name");
        }
        inputs.files.push_back(path);
    }
    return inputs;
}
