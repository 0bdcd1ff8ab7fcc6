#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "archive/entry_kinds.h"

namespace zok {

class CZokFile;

// True when the input (a stream at its first byte, of size bytes, that an entry written by rule
// would be made from) gives exactly what entry index of zok holds: the same bytes for a
// deflated or stored entry, the same pixels and alpha for a picture (decoding costs a fraction of
// encoding). Decided by reading both, never by time stamps. Anything unreadable or different on
// either side is false: the input is then encoded again. The stream is left where reading ended.
bool SameContent(const CZokFile& zok, size_t index, FILE* input, uint64_t size,
                 const EntryKindRule& rule);

}  // namespace zok
