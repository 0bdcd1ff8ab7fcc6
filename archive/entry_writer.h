#pragma once

#include <cstdio>
#include <string>

#include "archive/entry_kinds.h"
#include "codecs/codec_table.h"
#include "io/input_file.h"
#include "zok/build_archive.h"
#include "zok/entry_record.h"
#include "zok/error.h"

namespace zok {

enum class EntryWriteStatus {
    Written,    // the entry's data is in the archive
    Unencoded,  // the codec could not encode it: kept with storedSize 0
    Failed,     // the archive cannot go on (read or write failure, a changed input, a cancel)
};

// Runs the codec that rule names on a measured input, writing the entry's data at the archive
// stream's position; sets the record's sourceSize, storedSize and kind. Failed, with *problem
// set, on a read or write error, when the input changed while it was read, or when the build
// was cancelled. Codec exceptions pass through, but for a cancel (then Failed).
EntryWriteStatus EncodeInput(const CCodecTable& codecs, InputFile& input, const EntryKindRule& rule,
                             FILE* archive, EntryRecord& record, Error* problem);

}  // namespace zok
