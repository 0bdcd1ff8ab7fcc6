#include "zok/error.h"
#include "zok/zok_error.h"

namespace zok {

ZokError::ZokError(const std::string& what)
    : std::runtime_error(what), m_problem(MakeError(ErrorCode::PictureDamaged)) {
    m_problem.detail = what;
}

ZokError::ZokError(const std::string& what, Error problem)
    : std::runtime_error(what), m_problem(std::move(problem)) {}

ZokError::~ZokError() = default;

const char* ErrorCodeName(ErrorCode code) {
    switch (code) {
        case ErrorCode::None:
            return "none";
        case ErrorCode::OutOfMemory:
            return "out-of-memory";
        case ErrorCode::Cancelled:
            return "cancelled";
        case ErrorCode::CannotOpen:
            return "cannot-open";
        case ErrorCode::CannotRead:
            return "cannot-read";
        case ErrorCode::CannotWrite:
            return "cannot-write";
        case ErrorCode::IsAFolder:
            return "is-a-folder";
        case ErrorCode::IsAFifo:
            return "is-a-fifo";
        case ErrorCode::IsASocket:
            return "is-a-socket";
        case ErrorCode::IsADevice:
            return "is-a-device";
        case ErrorCode::NotRegularFile:
            return "not-regular-file";
        case ErrorCode::AlreadyExists:
            return "already-exists";
        case ErrorCode::FileTooLarge:
            return "file-too-large";
        case ErrorCode::FileChanged:
            return "file-changed";
        case ErrorCode::OutputIsInput:
            return "output-is-input";
        case ErrorCode::OutputsCollide:
            return "outputs-collide";
        case ErrorCode::InputIsOutput:
            return "input-is-output";
        case ErrorCode::LinkLeadsOut:
            return "link-leads-out";
        case ErrorCode::NoFolder:
            return "no-folder";
        case ErrorCode::NotAnArchive:
            return "not-an-archive";
        case ErrorCode::ArchiveTooLarge:
            return "archive-too-large";
        case ErrorCode::HeaderCutShort:
            return "header-cut-short";
        case ErrorCode::DirectoryPastEnd:
            return "directory-past-end";
        case ErrorCode::RecordPastEnd:
            return "record-past-end";
        case ErrorCode::NamePastEnd:
            return "name-past-end";
        case ErrorCode::DataOverlapsDirectory:
            return "data-overlaps-directory";
        case ErrorCode::DataOverlap:
            return "data-overlap";
        case ErrorCode::VersionNotUpgradable:
            return "version-not-upgradable";
        case ErrorCode::NeedsUpgrade:
            return "needs-upgrade";
        case ErrorCode::ArchiveWouldBeTooLarge:
            return "archive-would-be-too-large";
        case ErrorCode::NoSuchEntry:
            return "no-such-entry";
        case ErrorCode::UnknownKind:
            return "unknown-kind";
        case ErrorCode::HoldsNoData:
            return "holds-no-data";
        case ErrorCode::DataPastEnd:
            return "data-past-end";
        case ErrorCode::SizeLargerThanStored:
            return "size-larger-than-stored";
        case ErrorCode::SizeLargerThanCompressed:
            return "size-larger-than-compressed";
        case ErrorCode::DataCutShort:
            return "data-cut-short";
        case ErrorCode::DataCorrupt:
            return "data-corrupt";
        case ErrorCode::InflatesTooLong:
            return "inflates-too-long";
        case ErrorCode::InflatesTooShort:
            return "inflates-too-short";
        case ErrorCode::NotAPicture:
            return "not-a-picture";
        case ErrorCode::PictureDamaged:
            return "picture-damaged";
        case ErrorCode::PictureTooLarge:
            return "picture-too-large";
        case ErrorCode::PictureTooLargeForBmp:
            return "picture-too-large-for-bmp";
        case ErrorCode::CannotEncode:
            return "cannot-encode";
        case ErrorCode::NameEmpty:
            return "name-empty";
        case ErrorCode::NameFolderReference:
            return "name-folder-reference";
        case ErrorCode::NameHasSeparator:
            return "name-has-separator";
        case ErrorCode::NameHasNul:
            return "name-has-nul";
        case ErrorCode::NameNotInCp949:
            return "name-not-in-cp949";
        case ErrorCode::DuplicateName:
            return "duplicate-name";
        case ErrorCode::NoMatch:
            return "no-match";
        case ErrorCode::EndOfCodes:
            break;
    }
    return "unknown";
}

}  // namespace zok
