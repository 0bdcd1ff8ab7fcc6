#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "archive/codec_table.h"
#include "zok/entry_record.h"

enum class EntryWriteStatus {
    Written,    // the entry's data is in the archive
    Unencoded,  // the codec could not encode it: kept with storedSize 0
    Failed,     // the archive cannot go on (read or write failure, size limit); see error
};

// Appends one entry to the archive at its current end, as the builder does: measures the
// input, records offset and sizes, picks the codec by the last three bytes of kindSource and
// sets the kind byte. label names the input in messages. Codec exceptions pass through.
EntryWriteStatus WriteEntry(const CCodecTable& codecs, FILE* input, std::string_view kindSource,
                            FILE* archive, EntryRecord& record, const std::string& label,
                            std::string* error);

// The steps of WriteEntry, for a builder that encodes entries apart from the archive.
//
// Takes the input's size by seeking to its end and rewinds it. Failed when it cannot be
// measured or is too large for the format.
EntryWriteStatus MeasureInput(FILE* input, const std::string& label, uint32_t* size,
                              std::string* error);

// Runs the codec that kindSource selects on the measured, rewound input (record.sourceSize
// bytes), writing at the archive stream's position; sets storedSize and kind. Failed on a read
// or write error of either stream. Codec exceptions pass through.
EntryWriteStatus EncodeEntryData(const CCodecTable& codecs, FILE* input,
                                 std::string_view kindSource, FILE* archive, EntryRecord& record,
                                 const std::string& label, std::string* error);

// The message for an entry that would start or end past the format's 2 GiB limit.
std::string ArchiveTooLargeMessage(const std::string& label);

// The kind byte the builder gives an entry whose codec was chosen by kindName.
EntryKind KindForName(std::string_view kindName);
