#include "job/file_measure.h"

#include <sys/stat.h>

#include "job/korean_words.h"
#include "zok/build_archive.h"

namespace zok {

FileMeasure MeasureFile(const std::string& path) {
    FileMeasure result;
    // The build's own admission: kind first (a pipe is never opened), then readable, small
    // enough, and a name the archive can hold.
    const std::vector<Error> problems = CheckBuildInputs({path}, "");
    if (!problems.empty()) {
        result.reason = KoreanReason(problems.front());
        return result;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        result.reason = KoreanSystemReason(errno);
        return result;
    }
    result.ok = true;
    result.size = static_cast<uint32_t>(st.st_size);
    return result;
}

}  // namespace zok
