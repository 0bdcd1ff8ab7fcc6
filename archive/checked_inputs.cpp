#include "archive/checked_inputs.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "archive/input_set_state.h"
#include "io/links.h"
#include "io/regular_file.h"
#include "io/size_limits.h"

namespace zok {

namespace {

// How often the inputs that passed are told while the check goes on.
constexpr size_t kPassedEvery = 32;

}  // namespace

size_t CheckedInputs::DefaultBudget() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) {
        return 64;
    }
    return size_t(std::min<rlim_t>(limit.rlim_cur / 2, 4096));
}

CheckedInputs::CheckedInputs(const std::vector<std::string>& paths, size_t budget)
    : m_paths(paths), m_entries(paths.size()), m_budget(budget) {}

CheckedInputs::CheckedInputs(InputSet& set, size_t budget)
    : CheckedInputs(set.m_state->files.files, budget) {
    std::vector<InputSet::State::Opened>& opened = set.m_state->opened;
    for (size_t i = 0; i < opened.size(); ++i) {
        if (opened[i].fd) {
            m_entries[i].fd = std::move(opened[i].fd);
            m_entries[i].stamp = opened[i].stamp;
            m_entries[i].adoptedMode = opened[i].mode;
            ++m_adopted;
        }
    }
}

void CheckedInputs::Check(const std::string& outputPath,
                          const std::vector<std::optional<std::string>>& names,
                          std::vector<Error>& problems, const std::function<void(size_t)>& passed) {
    std::string target;
    int linkError = 0;
    struct stat output {};
    const bool outputExists =
        FollowLinks(outputPath, &target, &linkError) && ::stat(target.c_str(), &output) == 0;
    size_t kept = 0;
    // Descriptors of the set still ahead: they are kept, and what the check opens itself only
    // in the room they leave.
    size_t adoptedAhead = m_adopted;
    const size_t problemsBefore = problems.size();
    for (size_t i = 0; i < m_paths.size(); ++i) {
        const std::string& path = m_paths[i];
        Entry& entry = m_entries[i];
        UniqueFd fd;
        struct stat st {};
        if (entry.fd) {
            fd = std::move(entry.fd);
            st.st_mode = entry.adoptedMode;
            st.st_size = entry.stamp.size;
            st.st_dev = entry.stamp.device;
            st.st_ino = entry.stamp.inode;
            --adoptedAhead;
        } else {
            fd.Reset(::open(path.c_str(), kInputOpenFlags));
            if (!fd) {
                // Only to name a folder or device that cannot be opened by its kind.
                const int error = errno;
                if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
                    problems.push_back(
                        MakeError(NotRegularCode(mode_t(st.st_mode & S_IFMT)), path));
                } else {
                    problems.push_back(MakeError(ErrorCode::CannotRead, path, "", error));
                }
                continue;
            }
            if (::fstat(fd.Get(), &st) != 0) {
                problems.push_back(MakeError(ErrorCode::CannotRead, path, "", errno));
                continue;
            }
            entry.stamp = InputStamp::Of(st);
        }
        if (!S_ISREG(st.st_mode)) {
            problems.push_back(MakeError(NotRegularCode(mode_t(st.st_mode & S_IFMT)), path));
            continue;
        }
        if (st.st_size > kMaxZokFileSize) {
            problems.push_back(MakeError(ErrorCode::FileTooLarge, path));
        } else if (outputExists && st.st_dev == output.st_dev && st.st_ino == output.st_ino) {
            problems.push_back(MakeError(ErrorCode::InputIsOutput, path));
        }
        if (!names[i]) {
            problems.push_back(MakeError(ErrorCode::NameNotInCp949, path));
        }
        if (kept + adoptedAhead < m_budget) {
            entry.fd = std::move(fd);
            ++kept;
        }
        if (passed && problems.size() == problemsBefore && (i % kPassedEvery == 0)) {
            passed(i + 1);
        }
    }
    if (passed && problems.size() == problemsBefore) {
        passed(m_paths.size());
    }
}

bool CheckedInputs::Open(size_t i, InputFile& input, Error* problem) {
    Entry& entry = m_entries[i];
    const std::string& path = m_paths[i];
    if (!entry.fd) {
        entry.fd.Reset(::open(path.c_str(), kInputOpenFlags));
        struct stat st {};
        if (!entry.fd || ::fstat(entry.fd.Get(), &st) != 0) {
            *problem = MakeError(ErrorCode::CannotRead, path, "", errno);
            entry.fd.Reset();
            return false;
        }
        if (!(InputStamp::Of(st) == entry.stamp)) {
            *problem = MakeError(ErrorCode::FileChanged, path);
            entry.fd.Reset();
            return false;
        }
    }
    return input.Adopt(std::move(entry.fd), entry.stamp, path, problem);
}

}  // namespace zok
