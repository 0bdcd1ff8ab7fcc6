#include "archive/entry_writer.h"

#include <cerrno>
#include <new>

namespace zok {

EntryWriteStatus EncodeInput(const CCodecTable& codecs, InputFile& input, const EntryKindRule& rule,
                             FILE* archive, EntryRecord& record, Error* problem) {
    CEntryCodec* codec = codecs.At(rule.codec);
    record.sourceSize = input.Size();
    errno = 0;
    int32_t stored = 0;
    try {
        stored = codec->Encode(input.Stream(), archive);
    } catch (const std::bad_alloc&) {
        *problem = MakeError(ErrorCode::OutOfMemory, "", "", ENOMEM);
        return EntryWriteStatus::Failed;
    } catch (...) {
        if (input.Cancelled()) {
            *problem = MakeError(ErrorCode::Cancelled);
            return EntryWriteStatus::Failed;
        }
        throw;
    }
    if (std::ferror(archive) != 0) {
        *problem = MakeError(ErrorCode::CannotWrite, "", "", errno != 0 ? errno : EIO);
        return EntryWriteStatus::Failed;
    }
    if (input.Cancelled()) {
        *problem = MakeError(ErrorCode::Cancelled);
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
