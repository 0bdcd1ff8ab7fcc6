#pragma once

#include <cstdint>
#include <string>

#include "zok/export.h"

namespace zok {

// What went wrong, as a value: every failing operation of the library reports one of these,
// and each program words it in its own language from a table over the codes. The numbers are
// stable (they reach scripts through the Python module); new codes are added at the end.
enum class ErrorCode : uint16_t {
    None = 0,

    // The machine and the caller.
    OutOfMemory = 1,  // not enough memory for the work
    Cancelled = 2,    // the caller asked the work to stop

    // Files (errorNumber gives the system's reason where there is one).
    CannotOpen = 10,      // a file cannot be opened
    CannotRead = 11,      // a read of a file failed
    CannotWrite = 12,     // a file cannot be created or written
    IsAFolder = 13,       // a folder where a file was expected
    IsAFifo = 14,         // a FIFO (named pipe) where a file was expected
    IsASocket = 15,       // a socket where a file was expected
    IsADevice = 16,       // a device where a file was expected
    NotRegularFile = 17,  // anything else that is not a regular file
    AlreadyExists = 18,   // the output exists and may not be replaced
    FileTooLarge = 19,    // 2 GiB or more: outside the format
    FileChanged = 20,     // the file changed while it was read
    OutputIsInput = 21,   // an output is the archive being read (path names the output)
    LinkLeadsOut = 22,    // a symbolic link inside the target folder leads out of it
    NoFolder = 23,        // the target folder cannot be made or opened
    OutputsCollide = 24,  // two outputs of one operation are one file (path names the second)
    InputIsOutput = 25,   // an input is the archive being written

    // Archives as a whole.
    NotAnArchive = 30,            // the file is not a ZOK archive
    ArchiveTooLarge = 31,         // an archive of 2 GiB or more (read or to be written)
    HeaderCutShort = 32,          // the header ends early
    DirectoryPastEnd = 33,        // the directory of `number` entries runs past the end of the file
    RecordPastEnd = 34,           // record `number` runs past the end of the file
    NamePastEnd = 35,             // record `number`'s name of `other` bytes runs past the end
    DataOverlapsDirectory = 36,   // entry `number`'s data overlaps the directory
    DataOverlap = 37,             // entries `number` and `other` overlap
    VersionNotUpgradable = 38,    // an upgrade of an archive that is already 1.1.0 or newer
    NeedsUpgrade = 39,            // a version 1.0.0 archive where 1.1.0 is needed
    ArchiveWouldBeTooLarge = 40,  // the archive being written would reach 2 GiB

    // One entry (entry names it).
    NoSuchEntry = 50,               // no entry of that name or position
    UnknownKind = 51,               // its kind byte `number` is unknown
    HoldsNoData = 52,               // left empty: it could not be encoded when it was packed
    DataPastEnd = 53,               // its data runs past the end of the file
    SizeLargerThanStored = 54,      // its size is larger than its stored data
    SizeLargerThanCompressed = 55,  // its size is larger than its compressed data can hold
    DataCutShort = 56,              // its (compressed) data ends early
    DataCorrupt = 57,               // its compressed data is corrupt
    InflatesTooLong = 58,           // it inflates to more bytes than its size
    InflatesTooShort = 59,          // it inflates to fewer bytes than its size
    NotAPicture = 60,               // a picture operation on an entry that holds none
    PictureDamaged = 61,            // its picture cannot be decoded
    PictureTooLarge = 62,           // more pixels than the limit (`number`) allows
    PictureTooLargeForBmp = 63,     // its picture does not fit a BMP file's 32-bit sizes
    CannotEncode = 64,              // a codec could not encode an input (kept as an empty entry)

    // Names.
    NameEmpty = 70,            // an empty entry name cannot become a file name
    NameFolderReference = 71,  // "." or ".." name a folder
    NameHasSeparator = 72,     // a '/' would lead into another folder
    NameHasNul = 73,           // a NUL byte cannot be in a file name
    NameNotInCp949 = 74,       // a file name that the archive's CP949 cannot hold
    DuplicateName = 75,        // two inputs give entries of one name (letter case ignored)
    NoMatch = 76,              // a name or pattern matches no entry

    // Keep last: one past the largest code.
    EndOfCodes = 77,
};

// One failure: its code, what it concerns and the system's reason. Empty (code None) for
// success, so that a function can return one either way.
struct Error {
    ErrorCode code = ErrorCode::None;
    std::string path;     // the file it concerns (an archive, an input or an output), if any
    std::string entry;    // the entry's name as listed (UTF-8), if it concerns one
    int errorNumber = 0;  // errno, where the system gave a reason
    uint64_t number = 0;  // a number the wording uses (see the code)
    uint64_t other = 0;   // a second such number
    std::string detail;   // a technical detail in no language (a decoder's own message)

    explicit operator bool() const { return code != ErrorCode::None; }
};

// The code's stable identifier in lower-case words ("data-corrupt"), for logs and scripts.
ZOK_API const char* ErrorCodeName(ErrorCode code);

// An Error for code, with its path, entry and errno.
inline Error MakeError(ErrorCode code, std::string path = {}, std::string entry = {},
                       int errorNumber = 0) {
    Error error;
    error.code = code;
    error.path = std::move(path);
    error.entry = std::move(entry);
    error.errorNumber = errorNumber;
    return error;
}

}  // namespace zok
