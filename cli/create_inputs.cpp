#include "cli/create_inputs.h"

#include <filesystem>

#include "zok/inputs.h"
#include "zok/zok_file.h"

using namespace zok;

namespace {

// True when path is the very file the archive is written to (links followed).
bool SameOutput(const std::string& path, const std::string& output) {
    std::error_code ec;
    return !output.empty() && std::filesystem::equivalent(path, output, ec) && !ec;
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
    CreateInputs inputs{InputSet(named), {}, {}};
    // Only an output that exists can be among the inputs: looked at once, not once an input.
    std::error_code ec;
    if (!output.empty() && std::filesystem::exists(output, ec)) {
        inputs.set.RemoveIf([&](const std::string& path) {
            if (SameOutput(path, output) && IsZokArchive(path)) {
                inputs.warnings.push_back(path + ": skipped: it is the archive being written");
                return true;
            }
            return false;
        });
    }
    inputs.clashes = FindNameClashes(inputs.Files());
    return inputs;
}
