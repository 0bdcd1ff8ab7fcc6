#include "archive/entry_writer.h"

#include <cerrno>

#include "archive/atomic_file.h"
#include "archive/names.h"
#include "archive/zok_format.h"

EntryKind KindForName(std::string_view kindName) {
    return (EqualsNoCase(kindName, "PNG") || EqualsNoCase(kindName, "BMP")) ? EntryKind::PngStream
                                                                            : EntryKind::Other;
}

std::string ArchiveTooLargeMessage(const std::string& label) {
    return label + ": the archive would reach 2 GiB, the largest a ZOK archive can be";
}

EntryWriteStatus MeasureInput(FILE* input, const std::string& label, uint32_t* size,
                              std::string* error) {
    if (fseeko(input, 0, SEEK_END) != 0) {
        *error = label + ": " + SystemReason(errno);
        return EntryWriteStatus::Failed;
    }
    const off_t length = ftello(input);
    if (length < 0 || fseeko(input, 0, SEEK_SET) != 0) {
        *error = label + ": " + SystemReason(errno);
        return EntryWriteStatus::Failed;
    }
    if (length > kMaxZokFileSize) {
        *error = label + ": the file is 2 GiB or larger; ZOK archives cannot hold it";
        return EntryWriteStatus::Failed;
    }
    *size = static_cast<uint32_t>(length);
    return EntryWriteStatus::Written;
}

EntryWriteStatus EncodeEntryData(const CCodecTable& codecs, FILE* input,
                                 std::string_view kindSource, FILE* archive, EntryRecord& record,
                                 const std::string& label, std::string* error) {
    const std::string_view kindName = KindName(kindSource);
    CEntryCodec* codec = codecs.GetCodec(kindName);
    errno = 0;
    const int32_t stored = codec->Encode(input, archive);
    if (std::ferror(archive) != 0) {
        *error = label + ": cannot write the archive: " + SystemReason(errno != 0 ? errno : EIO);
        return EntryWriteStatus::Failed;
    }
    if (std::ferror(input) != 0) {
        *error = label + ": " + SystemReason(errno != 0 ? errno : EIO);
        return EntryWriteStatus::Failed;
    }
    record.storedSize = static_cast<uint32_t>(stored);
    record.kind = KindForName(kindName);
    // An empty input copied unchanged is an empty entry, not a failure.
    const bool emptyCopy = codec == codecs.At(CCodecTable::kStored) && record.sourceSize == 0;
    return (stored == 0 && !emptyCopy) ? EntryWriteStatus::Unencoded : EntryWriteStatus::Written;
}

EntryWriteStatus WriteEntry(const CCodecTable& codecs, FILE* input, std::string_view kindSource,
                            FILE* archive, EntryRecord& record, const std::string& label,
                            std::string* error) {
    uint32_t size = 0;
    if (MeasureInput(input, label, &size, error) == EntryWriteStatus::Failed) {
        return EntryWriteStatus::Failed;
    }
    const off_t offset = ftello(archive);
    if (offset < 0 || offset > kMaxZokFileSize) {
        *error = ArchiveTooLargeMessage(label);
        return EntryWriteStatus::Failed;
    }
    record.sourceSize = size;
    record.offset = static_cast<uint32_t>(offset);

    const EntryWriteStatus status =
        EncodeEntryData(codecs, input, kindSource, archive, record, label, error);
    if (status == EntryWriteStatus::Failed) {
        return status;
    }
    const off_t end = ftello(archive);
    if (end < 0 || end > kMaxZokFileSize) {
        *error = ArchiveTooLargeMessage(label);
        return EntryWriteStatus::Failed;
    }
    return status;
}
