#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "archive/codec_table.h"
#include "archive/entry_record.h"

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

// The kind byte the builder gives an entry whose codec was chosen by kindName.
EntryKind KindForName(std::string_view kindName);
