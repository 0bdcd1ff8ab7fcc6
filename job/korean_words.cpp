#include "job/korean_words.h"

#include <cerrno>
#include <cstring>

namespace zok {

namespace {

struct ErrnoText {
    int number;
    const char* korean;
};

const ErrnoText kErrnoTexts[] = {
    {ENOENT, "그런 파일이나 폴더가 없습니다"},
    {EACCES, "권한이 없습니다"},
    {EPERM, "허용되지 않는 작업입니다"},
    {ENOSPC, "디스크에 남은 공간이 없습니다"},
    {EDQUOT, "디스크 할당량을 넘었습니다"},
    {EROFS, "읽기 전용 파일 시스템입니다"},
    {EIO, "입출력 오류가 났습니다"},
    {EISDIR, "폴더입니다"},
    {ENOTDIR, "경로의 일부가 폴더가 아닙니다"},
    {EEXIST, "이미 있습니다"},
    {ENAMETOOLONG, "이름이 너무 깁니다"},
    {EFBIG, "파일이 너무 큽니다"},
    {ENOMEM, "메모리가 모자랍니다"},
    {EMFILE, "열린 파일이 너무 많습니다"},
    {ENFILE, "열린 파일이 너무 많습니다"},
    {ELOOP, "심볼릭 링크가 너무 많이 이어집니다"},
    {EINVAL, "잘못된 인수입니다"},
    {EBUSY, "사용 중입니다"},
    {ETXTBSY, "사용 중입니다"},
    {EXDEV, "다른 파일 시스템으로는 옮길 수 없습니다"},
};

std::string System(const Error& e) {
    return KoreanSystemReason(e.errorNumber != 0 ? e.errorNumber : EIO);
}

std::string Damaged(const std::string& problem) {
    return "손상된 ZOK 파일입니다: " + problem;
}

}  // namespace

std::string KoreanSystemReason(int errorNumber) {
    for (const ErrnoText& e : kErrnoTexts) {
        if (e.number == errorNumber) {
            return e.korean;
        }
    }
    return "시스템 오류 " + std::to_string(errorNumber) + " (" + std::strerror(errorNumber) + ")";
}

std::string KoreanReason(const Error& e) {
    const std::string n = std::to_string(e.number);
    const std::string other = std::to_string(e.other);
    switch (e.code) {
        case ErrorCode::None:
            return "문제가 없습니다";
        case ErrorCode::OutOfMemory:
            return "메모리가 모자랍니다";
        case ErrorCode::Cancelled:
            return "취소했습니다";
        case ErrorCode::CannotOpen:
            return "열 수 없습니다: " + System(e);
        case ErrorCode::CannotRead:
            return (e.entry.empty() ? "읽을 수 없습니다: " : "데이터를 읽을 수 없습니다: ") +
                   System(e);
        case ErrorCode::CannotWrite:
            return "쓸 수 없습니다: " + System(e);
        case ErrorCode::IsAFolder:
            return "폴더입니다";
        case ErrorCode::IsAFifo:
            return "파이프입니다. 보통 파일이 아닙니다";
        case ErrorCode::IsASocket:
            return "소켓입니다. 보통 파일이 아닙니다";
        case ErrorCode::IsADevice:
            return "장치입니다. 보통 파일이 아닙니다";
        case ErrorCode::NotRegularFile:
            return "보통 파일이 아닙니다";
        case ErrorCode::AlreadyExists:
            return "이미 있습니다";
        case ErrorCode::FileTooLarge:
            return "2 GiB 이상인 파일은 압축할 수 없습니다";
        case ErrorCode::FileChanged:
            return "읽는 동안 파일이 바뀌었습니다";
        case ErrorCode::OutputIsInput:
            return "읽고 있는 ZOK 파일이라 바꾸지 않습니다";
        case ErrorCode::LinkLeadsOut:
            return "폴더 밖을 가리키는 심볼릭 링크라 따라가지 않습니다";
        case ErrorCode::NoFolder:
            return "폴더를 쓸 수 없습니다: " + System(e);
        case ErrorCode::OutputsCollide:
            return "다른 출력 파일과 같은 파일입니다";
        case ErrorCode::InputIsOutput:
            return "만들고 있는 ZOK 파일 자신이라 압축할 수 없습니다";
        case ErrorCode::NotAnArchive:
            return "ZOK 파일이 아닙니다";
        case ErrorCode::ArchiveTooLarge:
            return Damaged("2 GiB 이상인 파일은 ZOK 형식에 담길 수 없습니다");
        case ErrorCode::HeaderCutShort:
            return Damaged("머리말이 잘렸습니다");
        case ErrorCode::DirectoryPastEnd:
            return Damaged("항목 " + n + "개의 목록이 파일 끝을 넘어갑니다");
        case ErrorCode::RecordPastEnd:
            return Damaged(n + "번째 항목이 파일 끝을 넘어갑니다");
        case ErrorCode::NamePastEnd:
            return Damaged(n + "번째 항목의 이름(" + other + "바이트)이 파일 끝을 넘어갑니다");
        case ErrorCode::DataOverlapsDirectory:
            return Damaged(n + "번째 항목의 데이터가 목록과 겹칩니다");
        case ErrorCode::DataOverlap:
            return Damaged(n + "번째와 " + other + "번째 항목의 데이터가 겹칩니다");
        case ErrorCode::VersionNotUpgradable:
            return "이미 1.1.0 형식입니다";
        case ErrorCode::NeedsUpgrade:
            return "1.0.0 형식입니다. 먼저 1.1.0 형식으로 바꾸십시오";
        case ErrorCode::ArchiveWouldBeTooLarge:
            return "ZOK 파일이 담을 수 있는 2 GiB에 이르렀습니다";
        case ErrorCode::NoSuchEntry:
            return "그런 항목이 없습니다";
        case ErrorCode::UnknownKind:
            return "종류(" + n + ")를 알 수 없습니다";
        case ErrorCode::HoldsNoData:
            return "빈 항목입니다: 압축할 때 인코딩하지 못했습니다";
        case ErrorCode::DataPastEnd:
            return "데이터가 파일 끝을 넘어갑니다 (파일이 잘렸습니다)";
        case ErrorCode::SizeLargerThanStored:
            return "크기가 저장된 데이터보다 큽니다";
        case ErrorCode::SizeLargerThanCompressed:
            return "크기가 압축된 데이터에 담길 수 있는 것보다 큽니다";
        case ErrorCode::DataCutShort:
            return "데이터가 잘렸습니다";
        case ErrorCode::DataCorrupt:
            return "압축된 데이터가 손상되었습니다";
        case ErrorCode::InflatesTooLong:
            return "압축을 풀면 크기보다 많은 바이트가 나옵니다";
        case ErrorCode::InflatesTooShort:
            return "압축을 풀면 크기보다 적은 바이트가 나옵니다";
        case ErrorCode::NotAPicture:
            return "그림 항목이 아닙니다";
        case ErrorCode::PictureDamaged:
            return e.entry.empty() ? "그림 파일로 읽을 수 없습니다"
                                   : "그림 데이터가 손상되었습니다";
        case ErrorCode::PictureTooLarge:
            return "그림이 너무 큽니다 (화소 " + n + "개까지)";
        case ErrorCode::PictureTooLargeForBmp:
            return "그림이 너무 커서 BMP 파일에 담을 수 없습니다";
        case ErrorCode::CannotEncode:
            return "인코딩하지 못했습니다";
        case ErrorCode::NameEmpty:
            return "이름이 비어 있습니다";
        case ErrorCode::NameFolderReference:
            return "이름이 폴더를 가리킵니다";
        case ErrorCode::NameHasSeparator:
            return "이름에 폴더 구분자(/)가 있습니다";
        case ErrorCode::NameHasNul:
            return "이름에 NUL 바이트가 있습니다";
        case ErrorCode::NameNotInCp949:
            return "이름에 CP949로 나타낼 수 없는 문자가 있어 ZOK 파일에 저장할 수 없습니다";
        case ErrorCode::DuplicateName:
            return "같은 이름의 항목이 또 있습니다";
        case ErrorCode::NoMatch:
            return "맞는 항목이 없습니다";
        case ErrorCode::EndOfCodes:
            break;
    }
    return "오류 " + std::to_string(unsigned(e.code));
}

bool IsEntryDamage(ErrorCode code) {
    switch (code) {
        case ErrorCode::UnknownKind:
        case ErrorCode::DataPastEnd:
        case ErrorCode::SizeLargerThanStored:
        case ErrorCode::SizeLargerThanCompressed:
        case ErrorCode::DataCutShort:
        case ErrorCode::DataCorrupt:
        case ErrorCode::InflatesTooLong:
        case ErrorCode::InflatesTooShort:
        case ErrorCode::PictureDamaged:
        case ErrorCode::CannotRead:
            return true;
        default:
            return false;
    }
}

}  // namespace zok
