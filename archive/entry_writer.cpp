#include "archive/entry_writer.h"

#include <cerrno>
#include <new>

#include "io/regular_file.h"

namespace zok {

Error ToError(const BuildProblem& problem) {
    Error error = MakeError(ErrorCode::CannotWrite, problem.path, "", problem.errorNumber);
    switch (problem.kind) {
        case BuildProblemKind::CannotReadInput:
            error.code = ErrorCode::CannotRead;
            break;
        case BuildProblemKind::NotAFile:
            error.code = NotRegularCode(mode_t(problem.fileType));
            break;
        case BuildProblemKind::InputTooLarge:
            error.code = ErrorCode::FileTooLarge;
            break;
        case BuildProblemKind::NameNotInCp949:
            error.code = ErrorCode::NameNotInCp949;
            break;
        case BuildProblemKind::InputIsTheArchive:
            error.code = ErrorCode::InputIsOutput;
            break;
        case BuildProblemKind::InputChanged:
            error.code = ErrorCode::FileChanged;
            break;
        case BuildProblemKind::CannotWriteArchive:
            break;
        case BuildProblemKind::ArchiveTooLarge:
            error.code = ErrorCode::ArchiveWouldBeTooLarge;
            break;
        case BuildProblemKind::Cancelled:
            error.code = ErrorCode::Cancelled;
            break;
        case BuildProblemKind::OutOfMemory:
            error.code = ErrorCode::OutOfMemory;
            break;
    }
    return error;
}

EntryWriteStatus EncodeInput(const CCodecTable& codecs, InputFile& input, const EntryKindRule& rule,
                             FILE* archive, EntryRecord& record, BuildProblem* problem) {
    CEntryCodec* codec = codecs.At(rule.codec);
    record.sourceSize = input.Size();
    errno = 0;
    int32_t stored = 0;
    try {
        stored = codec->Encode(input.Stream(), archive);
    } catch (const std::bad_alloc&) {
        *problem = {BuildProblemKind::OutOfMemory, "", ENOMEM};
        return EntryWriteStatus::Failed;
    } catch (...) {
        if (input.Cancelled()) {
            *problem = {BuildProblemKind::Cancelled, "", 0};
            return EntryWriteStatus::Failed;
        }
        throw;
    }
    if (std::ferror(archive) != 0) {
        *problem = {BuildProblemKind::CannotWriteArchive, "", errno != 0 ? errno : EIO};
        return EntryWriteStatus::Failed;
    }
    if (input.Cancelled()) {
        *problem = {BuildProblemKind::Cancelled, "", 0};
        return EntryWriteStatus::Failed;
    }
    // An entry whose data does not match its measured size is never written: a file that
    // changed, or could not be read, fails the build with its name.
    if (input.ReadFailed(problem) || !input.Unchanged(problem)) {
        return EntryWriteStatus::Failed;
    }
    record.storedSize = static_cast<uint32_t>(stored);
    record.kind = rule.kind;
    // An empty input copied unchanged is an empty entry, not a failure.
    const bool emptyCopy = rule.codec == CCodecTable::kStored && record.sourceSize == 0;
    return (stored == 0 && !emptyCopy) ? EntryWriteStatus::Unencoded : EntryWriteStatus::Written;
}

}  // namespace zok
