#include "io/links.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "io/names.h"

namespace zok {

bool FollowLinks(const std::string& path, std::string* resolved, int* error) {
    std::string current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            *resolved = current;
            return true;
        }
        std::vector<char> link(size_t(st.st_size > 0 ? st.st_size : 255) + 1);
        const ssize_t n = ::readlink(current.c_str(), link.data(), link.size());
        if (n < 0 || size_t(n) >= link.size()) {
            *error = n < 0 ? errno : ENAMETOOLONG;
            return false;
        }
        const std::string target(link.data(), size_t(n));
        current = target.front() == '/' ? target : FolderOf(current) + "/" + target;
    }
    *error = ELOOP;
    return false;
}

}  // namespace zok
