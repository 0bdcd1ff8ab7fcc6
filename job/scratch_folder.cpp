#include "job/scratch_folder.h"

#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <random>

#include "job/unnamed_file.h"
#include "zok/cleanup.h"

namespace zok {

namespace {

std::string RandomName() {
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device random;
    std::string name = "zok-";
    for (int i = 0; i < 10; ++i) {
        name.push_back(letters[random() % (sizeof letters - 1)]);
    }
    return name;
}

}  // namespace

ScratchFolder::~ScratchFolder() {
    if (!m_path.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    ForgetTemporaryFolder(m_ticket);
}

bool ScratchFolder::Create(Error* error) {
    const std::string parent = TemporaryFolder();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string path = parent + "/" + RandomName();
        // Noted before it exists: a signal never finds it made and unnoted.
        m_ticket = NoteTemporaryFolder(path);
        if (::mkdir(path.c_str(), 0700) == 0) {
            m_path = path;
            return true;
        }
        const int why = errno;
        ForgetTemporaryFolder(m_ticket);
        m_ticket = -1;
        if (why != EEXIST) {
            *error = MakeError(ErrorCode::CannotWrite, parent, "", why);
            return false;
        }
    }
    *error = MakeError(ErrorCode::CannotWrite, parent, "", EEXIST);
    return false;
}

}  // namespace zok
