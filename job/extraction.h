#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zok {

class CZokFile;

// Taking entries out of an archive into a folder, with the command line's safety: a name
// that would leave the folder is refused, an existing file is replaced only when the user
// said so, and a file appears only when its entry was read whole and exactly. No Qt here.

// The user's answer to "replace this file?".
enum class OverwriteAnswer {
    Yes,
    No,
    YesToAll,
};

// One entry to take out.
struct ExtractItem {
    size_t index = 0;      // position in the archive's directory
    std::string name;      // the entry's name, which is the file's name in the folder
    std::string target;    // folder + "/" + name
    std::string refused;   // why the name cannot be used (Korean); nothing is written then
    bool taken = false;    // a file, or an earlier item, has the name: ask before replacing
    bool replace = false;  // the user allowed replacing it
    bool skip = false;     // the user kept the file that has the name
    uint64_t bytes = 0;    // what reading the entry reads, for progress
};

// Why name cannot be a file name inside the target folder (Korean), or "" when it can: an
// empty name, "." and "..", a name with '/' or a NUL byte.
std::string RefusedNameReason(std::string_view name);

// The items for the entries at indices (in that order) into folder. A name is taken when a
// file of that name is in the folder (a symbolic link counts, even a broken one) or an
// earlier item writes it.
std::vector<ExtractItem> PlanExtraction(const CZokFile& zok, const std::vector<size_t>& indices,
                                        const std::string& folder);

// Asks about every item whose name is taken, in order, until the answer is YesToAll, which
// allows the rest as well; No keeps the existing file.
void AnswerOverwrites(std::vector<ExtractItem>& items,
                      const std::function<OverwriteAnswer(const ExtractItem&)>& ask);

// The question asked about an item whose name is taken.
std::string OverwriteQuestion(const ExtractItem& item);

// What an extraction did.
struct ExtractionResult {
    // The files written, in item order.
    std::vector<std::string> written;
    // Entries found damaged on the way: their position and why (Korean).
    std::vector<std::pair<size_t, std::string>> damaged;
    // One line per item not written, refused names included: "name: 이유".
    std::vector<std::string> failures;
    // Stopped by cancel: every file this run made is removed again (a file that replaced an
    // existing one with the user's leave stays).
    bool cancelled = false;
};

// Sum of the items' bytes: the total for progress.
uint64_t BytesToExtract(const std::vector<ExtractItem>& items);

// Writes the items in order. A picture entry (PNG stream) whose stored name ends in "bmp" is
// written as a 24-bit BMP file, decoded; every other entry as OpenEntry gives it. progress
// (may be empty) gets the bytes read so far; cancel (may be null) is looked at between
// pieces. Safe on any thread.
ExtractionResult ExtractItems(const CZokFile& zok, const std::vector<ExtractItem>& items,
                              const std::atomic<bool>* cancel,
                              const std::function<void(uint64_t)>& progress);

}  // namespace zok
