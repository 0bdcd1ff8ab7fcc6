#include <fcntl.h>
#include <sys/stat.h>

#include <utility>

#include "archive/checked_inputs.h"
#include "archive/input_folders.h"
#include "archive/input_set_state.h"

namespace zok {

InputSet::InputSet(const std::vector<std::string>& paths) : m_state(std::make_unique<State>()) {
    InputFiles& files = m_state->files;
    std::vector<State::Opened>& opened = m_state->opened;
    const size_t budget = CheckedInputs::DefaultBudget();
    size_t kept = 0;
    for (const std::string& path : paths) {
        State::Opened file;
        struct stat st {};
        bool measured = false;
        if (kept < budget) {
            file.fd.Reset(::open(path.c_str(), kInputOpenFlags));
            measured = file.fd && ::fstat(file.fd.Get(), &st) == 0;
        }
        if (!measured) {
            // Past the budget, or not to be opened: only whether it is a folder matters here.
            file.fd.Reset();
            if (::stat(path.c_str(), &st) != 0) {
                st.st_mode = 0;
            }
        }
        if (S_ISDIR(st.st_mode)) {
            file.fd.Reset();
            WalkInputFolder(path, files);
            opened.resize(files.files.size());
            continue;
        }
        if (measured) {
            file.mode = st.st_mode & S_IFMT;
            file.stamp = InputStamp::Of(st);
            ++kept;
        }
        files.files.push_back(path);
        opened.push_back(std::move(file));
    }
}

InputSet::~InputSet() = default;
InputSet::InputSet(InputSet&& other) noexcept = default;
InputSet& InputSet::operator=(InputSet&& other) noexcept = default;

const InputFiles& InputSet::Files() const {
    return m_state->files;
}

void InputSet::RemoveIf(const std::function<bool(const std::string& path)>& leave) {
    std::vector<std::string>& files = m_state->files.files;
    std::vector<State::Opened>& opened = m_state->opened;
    size_t to = 0;
    for (size_t from = 0; from < files.size(); ++from) {
        if (leave(files[from])) {
            continue;
        }
        if (to != from) {
            files[to] = std::move(files[from]);
            opened[to] = std::move(opened[from]);
        }
        ++to;
    }
    files.resize(to);
    opened.resize(to);
}

}  // namespace zok
