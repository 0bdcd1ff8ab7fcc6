#pragma once

// Archives assembled byte by byte, for reading what no builder writes: version 1.0.0 files,
// kind 0 and 1 entries, duplicate or hostile names, damaged records.

#include <zlib.h>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/test_support.h"

namespace zoktest {

struct HandEntry {
    HandEntry(std::string n, std::string d, uint8_t k = 3,
              std::optional<uint32_t> source = std::nullopt,
              std::optional<uint32_t> stored = std::nullopt,
              std::optional<uint32_t> at = std::nullopt)
        : name(std::move(n)),
          data(std::move(d)),
          kind(k),
          sourceSize(source),
          storedSize(stored),
          offset(at) {}

    std::string name;  // bytes as stored (CP949)
    std::string data;  // the entry's bytes in the file
    uint8_t kind = 3;
    std::optional<uint32_t> sourceSize;  // default: data.size()
    std::optional<uint32_t> storedSize;  // default: data.size()
    std::optional<uint32_t> offset;      // default: where data lands
};

// Header ("ZOK" + version, or nothing for 1.0.0), directory, then every entry's data in order.
inline std::string MakeArchive(const std::vector<HandEntry>& entries, bool withMagic = true,
                               const std::string& version = "110") {
    std::string head;
    if (withMagic) {
        head = "ZOK" + version;
    }
    size_t dirSize = head.size() + 4;
    for (const HandEntry& e : entries) {
        dirSize += 17 + e.name.size();
    }
    AppendU32(head, uint32_t(entries.size()));
    std::string data;
    for (const HandEntry& e : entries) {
        AppendU32(head, uint32_t(e.name.size()));
        head += e.name;
        AppendU32(head, e.offset.value_or(uint32_t(dirSize + data.size())));
        AppendU32(head, e.sourceSize.value_or(uint32_t(e.data.size())));
        AppendU32(head, e.storedSize.value_or(uint32_t(e.data.size())));
        head.push_back(char(e.kind));
        data += e.data;
    }
    return head + data;
}

// A zlib stream of the bytes, as the deflate codec stores them.
inline std::string Deflate(const std::string& bytes) {
    uLongf size = compressBound(uLong(bytes.size()));
    std::string out(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                  reinterpret_cast<const Bytef*>(bytes.data()), uLong(bytes.size()), 5) != Z_OK) {
        throw std::runtime_error("compress2 failed");
    }
    out.resize(size);
    return out;
}

// A kind 3 entry made by the deflate codec from content.
inline HandEntry DeflatedEntry(const std::string& name, const std::string& content) {
    return HandEntry(name, Deflate(content), 3, uint32_t(content.size()));
}

}  // namespace zoktest
