#include "archive/directory_writer.h"

#include "archive/zok_format.h"
#include "io/little_endian.h"

namespace zok {

uint64_t DirectorySize(size_t count, uint64_t totalNameBytes) {
    return kHeaderSize + uint64_t(kRecordFixedSize) * count + totalNameBytes;
}

std::string SerializeDirectory(const std::vector<EntryRecord>& records) {
    std::string out;
    uint64_t names = 0;
    for (const EntryRecord& r : records) {
        names += r.name.size();
    }
    out.reserve(DirectorySize(records.size(), names));
    out.append(kZokMagic, 3);
    out.append(kZokFormatVersion, 3);
    AppendU32(out, static_cast<uint32_t>(records.size()));
    for (const EntryRecord& r : records) {
        AppendU32(out, static_cast<uint32_t>(r.name.size()));
        out.append(r.name);
        AppendU32(out, r.offset);
        AppendU32(out, r.sourceSize);
        AppendU32(out, r.storedSize);
        out.push_back(static_cast<char>(r.kind));
    }
    return out;
}

}  // namespace zok
