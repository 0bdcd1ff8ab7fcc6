#include "job/korean_reasons.h"

#include "job/korean_words.h"

#include <sys/stat.h>
#include <cerrno>
#include <cstring>
#include <regex>
#include <vector>

namespace zok {

namespace {

// One English wording of the library and its Korean: in korean, $1 and $2 stand for the
// captured text as it is, %1 for the captured text put into Korean itself.
struct Wording {
    const char* english;
    const char* korean;
};

const Wording kWordings[] = {
    // Why an entry cannot be read.
    {"no such entry", "그런 항목이 없습니다"},
    {"its kind (\\d+) is unknown", "종류($1)를 알 수 없습니다"},
    {"holds no data: it could not be encoded when the archive was built",
     "빈 항목입니다: 압축할 때 인코딩하지 못했습니다"},
    {"its data runs past the end of the file \\(the archive is cut short\\)",
     "데이터가 파일 끝을 넘어갑니다 (파일이 잘렸습니다)"},
    {"its size is larger than its stored data", "크기가 저장된 데이터보다 큽니다"},
    {"its size is larger than its compressed data can hold",
     "크기가 압축된 데이터에 담길 수 있는 것보다 큽니다"},
    {"its data cannot be read: (.*)", "데이터를 읽을 수 없습니다: %1"},
    {"its data is cut short", "데이터가 잘렸습니다"},
    {"not enough memory to inflate it", "압축을 풀 메모리가 모자랍니다"},
    {"its compressed data is cut short", "압축된 데이터가 잘렸습니다"},
    {"its compressed data is corrupt", "압축된 데이터가 손상되었습니다"},
    {"it inflates to more bytes than its size", "압축을 풀면 크기보다 많은 바이트가 나옵니다"},
    {"it inflates to fewer bytes than its size", "압축을 풀면 크기보다 적은 바이트가 나옵니다"},
    // Pictures.
    {"Not a PNG", "PNG 그림이 아닙니다"},
    {"error", "그림 데이터가 손상되었습니다"},
    {"Cannot create png_read_struct", "PNG 해독기를 만들 수 없습니다"},
    {"its picture cannot be decoded", "그림을 풀 수 없습니다"},
    {"not enough memory to decode its picture", "그림을 풀 메모리가 모자랍니다"},
    {"not enough memory to read it", "읽을 메모리가 모자랍니다"},
    // Why an archive cannot be opened.
    {"not a ZOK archive", "ZOK 파일이 아닙니다"},
    {"not a readable ZOK archive: (.*)", "손상된 ZOK 파일입니다: %1"},
    {"the file is 2 GiB or larger, more than the format can describe",
     "2 GiB 이상인 파일은 ZOK 형식에 담길 수 없습니다"},
    {"cannot read the header: (.*)", "머리말을 읽을 수 없습니다: %1"},
    {"the header is cut short", "머리말이 잘렸습니다"},
    {"the directory of (\\d+) entries runs past the end of the file",
     "항목 $1개의 목록이 파일 끝을 넘어갑니다"},
    {"entry (\\d+) runs past the end of the file", "$1번째 항목이 파일 끝을 넘어갑니다"},
    {"entry (\\d+): its name of (\\d+) bytes runs past the end of the file",
     "$1번째 항목의 이름($2바이트)이 파일 끝을 넘어갑니다"},
    {"cannot read the directory: (.*)", "목록을 읽을 수 없습니다: %1"},
    {"the data of entry (\\d+) overlaps the directory", "$1번째 항목의 데이터가 목록과 겹칩니다"},
    {"the data of entries (\\d+) and (\\d+) overlap", "$1번째와 $2번째 항목의 데이터가 겹칩니다"},
    // An entry named in a longer message.
    {"entry \"(.*)\": (.*)", "\"$1\" 항목: %2"},
    // Files written.
    {"already exists", "이미 있습니다"},
    {"not open", "열려 있지 않습니다"},
    {"the name is too short to derive the new archive's name from",
     "이름이 너무 짧아 새 파일의 이름을 만들 수 없습니다"},
};

struct CompiledWording {
    std::regex pattern;
    const char* korean;
};

const std::vector<CompiledWording>& Wordings() {
    static const std::vector<CompiledWording> compiled = [] {
        std::vector<CompiledWording> out;
        for (const Wording& w : kWordings) {
            out.push_back({std::regex(w.english), w.korean});
        }
        return out;
    }();
    return compiled;
}

std::string Fill(const char* korean, const std::smatch& match) {
    std::string out;
    for (const char* p = korean; *p != '\0'; ++p) {
        if ((*p == '$' || *p == '%') && p[1] >= '1' && p[1] <= '9') {
            const std::string captured = match[p[1] - '0'].str();
            out += *p == '%' ? KoreanReason(captured) : captured;
            ++p;
        } else {
            out.push_back(*p);
        }
    }
    return out;
}

}  // namespace

std::string KoreanReason(std::string_view english) {
    const std::string text(english);
    for (int number = 1; number < 134; ++number) {
        if (text == std::strerror(number)) {
            return KoreanSystemReason(number);
        }
    }
    std::smatch match;
    for (const CompiledWording& w : Wordings()) {
        if (std::regex_match(text, match, w.pattern)) {
            return Fill(w.korean, match);
        }
    }
    return text;
}

std::string KoreanReasonOf(std::string_view path, std::string_view english) {
    if (!path.empty() && english.size() > path.size() + 2 &&
        english.substr(0, path.size()) == path && english.substr(path.size(), 2) == ": ") {
        return KoreanReason(english.substr(path.size() + 2));
    }
    return KoreanReason(english);
}

std::string KoreanMessageLines(std::string_view english) {
    std::string out;
    bool first = true;
    size_t start = 0;
    while (start <= english.size()) {
        size_t end = english.find('\n', start);
        if (end == std::string_view::npos) {
            end = english.size();
        }
        const std::string_view line = english.substr(start, end - start);
        // The reason follows the first ": " after which the rest reads as a known reason.
        std::string korean(line);
        for (size_t colon = line.find(": "); colon != std::string_view::npos;
             colon = line.find(": ", colon + 1)) {
            const std::string_view reason = line.substr(colon + 2);
            const std::string translated = KoreanReason(reason);
            if (translated != reason) {
                korean = std::string(line.substr(0, colon + 2)) + translated;
                break;
            }
        }
        out += (first ? "" : "\n") + korean;
        first = false;
        start = end + 1;
    }
    return out;
}

std::string KoreanBuildProblem(const BuildProblem& problem) {
    const std::string reason =
        KoreanSystemReason(problem.errorNumber != 0 ? problem.errorNumber : EIO);
    std::string why;
    switch (problem.kind) {
        case BuildProblemKind::CannotReadInput:
            why = "읽을 수 없습니다: " + reason;
            break;
        case BuildProblemKind::NotAFile:
            why = problem.fileType == S_IFDIR    ? "폴더는 압축할 수 없습니다"
                  : problem.fileType == S_IFIFO  ? "파이프는 압축할 수 없습니다"
                  : problem.fileType == S_IFSOCK ? "소켓은 압축할 수 없습니다"
                  : problem.fileType == S_IFCHR || problem.fileType == S_IFBLK
                      ? "장치는 압축할 수 없습니다"
                      : "일반 파일이 아닙니다";
            break;
        case BuildProblemKind::InputTooLarge:
            why = "2 GiB 이상인 파일은 압축할 수 없습니다";
            break;
        case BuildProblemKind::NameNotInCp949:
            why = "이름에 CP949로 나타낼 수 없는 문자가 있어 ZOK 파일에 저장할 수 없습니다";
            break;
        case BuildProblemKind::InputIsTheArchive:
            why = "만들고 있는 ZOK 파일 자신이라 압축할 수 없습니다";
            break;
        case BuildProblemKind::InputChanged:
            why = "읽는 동안 파일이 바뀌었습니다";
            break;
        case BuildProblemKind::CannotWriteArchive:
            why = "ZOK 파일을 쓸 수 없습니다: " + reason;
            break;
        case BuildProblemKind::ArchiveTooLarge:
            why = "ZOK 파일이 담을 수 있는 2 GiB에 이르렀습니다";
            break;
        case BuildProblemKind::Cancelled:
            why = "취소했습니다";
            break;
        case BuildProblemKind::OutOfMemory:
            why = "메모리가 모자랍니다";
            break;
    }
    return problem.path + ": " + why;
}

}  // namespace zok
