#include "cli/error_words.h"

#include <cerrno>
#include <cstring>

using zok::Error;
using zok::ErrorCode;

namespace {

std::string System(const Error& e) {
    return std::strerror(e.errorNumber != 0 ? e.errorNumber : EIO);
}

std::string Damaged(const std::string& problem) {
    return "not a readable ZOK archive: " + problem;
}

}  // namespace

std::string ErrorReason(const Error& e) {
    const std::string n = std::to_string(e.number);
    const std::string other = std::to_string(e.other);
    switch (e.code) {
        case ErrorCode::None:
            return "no error";
        case ErrorCode::OutOfMemory:
            return "not enough memory";
        case ErrorCode::Cancelled:
            return "cancelled";
        case ErrorCode::CannotOpen:
            return System(e);
        case ErrorCode::CannotRead:
            return e.entry.empty() ? System(e) : "its data cannot be read: " + System(e);
        case ErrorCode::CannotWrite:
            return "cannot be written: " + System(e);
        case ErrorCode::IsAFolder:
            return "is a folder, not a file";
        case ErrorCode::IsAFifo:
            return "is a FIFO (named pipe), not a regular file";
        case ErrorCode::IsASocket:
            return "is a socket, not a regular file";
        case ErrorCode::IsADevice:
            return "is a device, not a regular file";
        case ErrorCode::NotRegularFile:
            return "is not a regular file";
        case ErrorCode::AlreadyExists:
            return "already exists";
        case ErrorCode::FileTooLarge:
            return "the file is 2 GiB or larger; ZOK archives cannot hold it";
        case ErrorCode::FileChanged:
            return "the file changed while it was read";
        case ErrorCode::OutputIsInput:
            return "is the archive being read; it is not replaced";
        case ErrorCode::LinkLeadsOut:
            return "is a symbolic link leading out of the folder; it is not followed";
        case ErrorCode::NoFolder:
            return "cannot use it as the target folder: " + System(e);
        case ErrorCode::OutputsCollide:
            return "is where another output of this command goes";
        case ErrorCode::InputIsOutput:
            return "is the archive being written; it cannot be packed into itself";
        case ErrorCode::NotAnArchive:
            return "not a ZOK archive";
        case ErrorCode::ArchiveTooLarge:
            return Damaged("the file is 2 GiB or larger, more than the format can describe");
        case ErrorCode::HeaderCutShort:
            return Damaged("the header is cut short");
        case ErrorCode::DirectoryPastEnd:
            return Damaged("the directory of " + n + " entries runs past the end of the file");
        case ErrorCode::RecordPastEnd:
            return Damaged("entry " + n + " runs past the end of the file");
        case ErrorCode::NamePastEnd:
            return Damaged("entry " + n + ": its name of " + other +
                           " bytes runs past the end of the file");
        case ErrorCode::DataOverlapsDirectory:
            return Damaged("the data of entry " + n + " overlaps the directory");
        case ErrorCode::DataOverlap:
            return Damaged("the data of entries " + n + " and " + other + " overlap");
        case ErrorCode::VersionNotUpgradable:
            return "is already a version 1.1.0 archive";
        case ErrorCode::NeedsUpgrade:
            return "is a version 1.0.0 archive; run \"zok upgrade\" on it first";
        case ErrorCode::ArchiveWouldBeTooLarge:
            return "the archive would reach 2 GiB, the largest a ZOK archive can be";
        case ErrorCode::NoSuchEntry:
            return "no such entry";
        case ErrorCode::UnknownKind:
            return "its kind " + n + " is unknown";
        case ErrorCode::HoldsNoData:
            return "holds no data: it could not be encoded when the archive was built";
        case ErrorCode::DataPastEnd:
            return "its data runs past the end of the file (the archive is cut short)";
        case ErrorCode::SizeLargerThanStored:
            return "its size is larger than its stored data";
        case ErrorCode::SizeLargerThanCompressed:
            return "its size is larger than its compressed data can hold";
        case ErrorCode::DataCutShort:
            return "its data is cut short";
        case ErrorCode::DataCorrupt:
            return "its compressed data is corrupt";
        case ErrorCode::InflatesTooLong:
            return "it inflates to more bytes than its size";
        case ErrorCode::InflatesTooShort:
            return "it inflates to fewer bytes than its size";
        case ErrorCode::NotAPicture:
            return "it is not a picture entry";
        case ErrorCode::PictureDamaged:
            // An entry's picture, or an input file met while packing.
            return std::string(e.entry.empty() ? "it cannot be read as a picture"
                                               : "its picture is damaged") +
                   (e.detail.empty() ? "" : " (" + e.detail + ")");
        case ErrorCode::PictureTooLarge:
            return "its picture has more than " + n + " pixels, the limit (--max-pixels raises it)";
        case ErrorCode::PictureTooLargeForBmp:
            return "its picture is too large for a BMP file";
        case ErrorCode::CannotEncode:
            return "it could not be encoded";
        case ErrorCode::NameEmpty:
            return "refused: its name is empty";
        case ErrorCode::NameFolderReference:
            return "refused: its name is a folder reference";
        case ErrorCode::NameHasSeparator:
            return "refused: its name contains a folder separator";
        case ErrorCode::NameHasNul:
            return "refused: its name contains a NUL byte";
        case ErrorCode::NameNotInCp949:
            return "the file name cannot be written in the archive's Korean (CP949) character set";
        case ErrorCode::DuplicateName:
            return "another input gives an entry of the same name";
        case ErrorCode::NoMatch:
            return "no entry matches";
        case ErrorCode::EndOfCodes:
            break;
    }
    return "error " + std::to_string(unsigned(e.code));
}

std::string DescribeError(const Error& e) {
    std::string line = e.path.empty() ? "" : e.path + ": ";
    if (e.code == ErrorCode::NoSuchEntry && !e.entry.empty()) {
        return line + "no entry named \"" + e.entry + "\"";
    }
    if (!e.entry.empty()) {
        line += "entry \"" + e.entry + "\": ";
    }
    return line + ErrorReason(e);
}
