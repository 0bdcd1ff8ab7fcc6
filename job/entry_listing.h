#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "zok/entry_description.h"
#include "zok/error.h"

namespace zok {

class CZokFile;

// What the archive window shows of an archive's entries. No Qt here, so that it is tested
// on its own.

// How an entry stands, as far as is known.
enum class EntryMark : uint8_t {
    Sound,        // nothing found wrong (yet)
    HoldsNoData,  // left empty because it could not be encoded when the archive was built
    Damaged,      // its data cannot be read whole
};

// One row of the entry table.
struct EntryRow {
    size_t index = 0;  // position in the archive's directory
    std::string name;  // UTF-8, control bytes escaped
    uint8_t kind = 0;
    std::string kindWord;  // "그림 PNG", "비트맵", "압축", "저장" ...
    bool picture = false;  // decodes into a picture
    uint32_t sourceSize = 0;
    uint32_t storedSize = 0;
    EntryMark mark = EntryMark::Sound;
    std::string problem;  // why it is marked, in Korean
};

// The kind of an entry in words: "그림 PNG" for a PNG stream, "비트맵" for a stored bitmap, "저장"
// for a file stored as it is ("old"), "압축" for a deflated one, "알 수 없음 (n)" for an unknown
// kind byte n.
std::string KindWord(const EntryDescription& entry);

// Stored size as a percentage of the original size; nullopt for an empty original.
std::optional<double> StoredPercent(uint32_t sourceSize, uint32_t storedSize);
// That percentage with one decimal ("42.5%"), or "-" for an empty original.
std::string PercentText(std::optional<double> percent);

// The rows of every entry, in directory order, marked as the directory tells (EntryProblem,
// HoldsNoData); reading an entry may still find damage.
std::vector<EntryRow> ListEntries(const CZokFile& zok);

// Sets how an entry stands after it was read: sound (no problem), holding no data, or damaged.
void MarkEntry(EntryRow& row, const Error& problem);

// "1.1.0" for the stored version characters "110".
std::string VersionText(std::string_view version);

// The status line: entries, their total original and stored sizes and the version, as
// "항목 3개 · 원래 크기 12,345 byte · 압축 크기 6,789 byte · 버전 1.1.0". shown is the number
// of rows left by a filter; when fewer than all, "(2개 표시)" follows the count.
std::string ListingStatus(const std::vector<EntryRow>& rows, std::string_view version,
                          size_t shown);

}  // namespace zok
