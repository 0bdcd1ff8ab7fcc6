#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/entry_kinds.h"
#include "archive/entry_names.h"
#include "archive/entry_source.h"
#include "codecs/codec_table.h"
#include "zok/zok_file.h"

namespace zok {

// The directory of an open archive, kept compact (a few dozen bytes an entry beside the names
// as stored), with the file it was read from and the codecs that read its entries.

struct CompactRecord {
    uint32_t offset;
    uint32_t sourceSize;
    uint32_t storedSize;
    uint32_t nameStart;
    uint32_t nameLength;
    EntryKind kind;
};

struct ArchiveDirectory {
    std::string path;
    char version[3] = {'1', '0', '0'};
    int fd = -1;
    uint64_t fileSize = 0;
    dev_t device = 0;  // the archive file itself, so that no output replaces it
    ino_t inode = 0;
    uint64_t directoryEnd = 0;
    std::vector<CompactRecord> entries;
    std::string names;  // every name's CP949 bytes, one after another
    CCodecTable codecs;
    std::atomic<uint64_t> pictureLimit{kDefaultPictureLimit};

    // Entry positions ordered by folded name, then by position: made on the first lookup.
    mutable std::once_flag sorted;
    mutable std::vector<uint32_t> byName;

    ~ArchiveDirectory() {
        if (fd >= 0) {
            ::close(fd);
        }
    }

    std::string_view RawName(const CompactRecord& r) const {
        return std::string_view(names).substr(r.nameStart, r.nameLength);
    }

    std::optional<EntryReadRule> Rule(const CompactRecord& r) const {
        return ReadRuleFor(r.kind, RawName(r));
    }

    uint64_t ContentSize(const CompactRecord& r) const {
        return r.kind == EntryKind::PngStream ? r.storedSize : r.sourceSize;
    }

    // Left empty when the archive was built: a PNG or zlib stream is never empty, and a stored
    // entry is empty only for an empty file.
    bool HoldsNoData(const CompactRecord& r) const {
        const std::optional<EntryReadRule> rule = Rule(r);
        return r.storedSize == 0 && rule &&
               (rule->read == ContentRead::Inflate || rule->contentIsStored || r.sourceSize > 0);
    }

    EntrySource Source(const CompactRecord& r) const {
        return EntrySource(fd, r.offset, r.storedSize, fileSize);
    }

    // Orders byName; done once, on the first lookup.
    void Sort() const;
    // The first entry whose stored name equals raw with ASCII letters folded.
    std::optional<size_t> FindRaw(std::string_view raw) const;
};

const ArchiveDirectory& DirectoryOf(const CZokFile& archive);

// Opens path, reads and checks its directory into dir (version and count too). Raises
// ZokOpenError when the file cannot be opened, ZokError when it is not a ZOK archive or cannot
// be trusted (see CZokFile).
void LoadDirectory(ArchiveDirectory& dir);

// The first entry whose name equals name (UTF-8, or shown with \xNN escapes) with ASCII
// letters folded.
std::optional<size_t> FindEntryNamed(const ArchiveDirectory& dir, std::string_view name);

}  // namespace zok
