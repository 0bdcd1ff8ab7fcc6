#include "job/file_measure.h"

#include <sys/stat.h>

#include <cerrno>

#include "archive/zok_format.h"
#include "io/names.h"
#include "io/regular_file.h"
#include "job/korean_reasons.h"

namespace zok {

FileMeasure MeasureFile(const std::string& path) {
    FileMeasure result;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        result.reason = KoreanSystemReason(errno);
        return result;
    }
    if (S_ISDIR(st.st_mode)) {
        result.reason = "폴더는 추가할 수 없습니다";
        return result;
    }
    if (!S_ISREG(st.st_mode)) {
        result.reason = "일반 파일이 아닙니다";
        return result;
    }
    if (st.st_size > kMaxZokFileSize) {
        result.reason = "2 GiB 이상인 파일은 압축할 수 없습니다";
        return result;
    }
    // The archive stores the base name in CP949; the builder would refuse the whole job later.
    if (!Utf8ToCp949(BaseName(path))) {
        result.reason = "이름에 CP949로 나타낼 수 없는 문자가 있어 ZOK 파일에 저장할 수 없습니다";
        return result;
    }
    // The builder reads every input; find out now whether it can.
    std::string reason;
    if (!OpenRegularFile(path, &reason)) {
        result.reason = KoreanSystemReason(errno);
        return result;
    }
    result.ok = true;
    result.size = static_cast<uint32_t>(st.st_size);
    return result;
}

}  // namespace zok
