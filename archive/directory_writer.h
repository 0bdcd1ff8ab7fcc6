#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "zok/entry_record.h"

namespace zok {

// Serialises the header and directory of a version 1.1.0 archive. Record names are taken
// as CP949 bytes already (see Utf8ToCp949).
std::string SerializeDirectory(const std::vector<EntryRecord>& cp949Records);

// Size of the header and directory for names of the given total CP949 length.
uint64_t DirectorySize(size_t count, uint64_t totalNameBytes);

}  // namespace zok
