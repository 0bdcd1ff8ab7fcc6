#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "zok/error.h"
#include "zok/extract.h"
#include "zok/update.h"
#include "zok/upgrade_archive.h"

namespace zok {

class CZokFile;

// The archive window's work, Qt-free: each runs on the worker thread through the library's one
// operation and hands back what the window shows, its reasons in Korean. progress (may be
// empty) gets the bytes read so far; cancel (may be null) stops the work.

// One problem in Korean: "path: "entry" 항목: 이유", with the parts it has.
std::string KoreanProblem(const Error& problem);

// The sum of every entry's content size: the total that reading them all reads.
uint64_t ContentBytes(const CZokFile& zok);

// What an extraction did, as the window reports it.
struct ExtractionOutcome {
    ExtractResult result;
    std::vector<std::string> written;               // the files made or replaced, in order
    std::vector<std::string> failures;              // "name: 이유", one per item not written
    std::vector<std::pair<size_t, Error>> damaged;  // entries found damaged on the way
};
// Runs the planned and decided extraction on all cores. A cancelled run lists no file.
ExtractionOutcome RunExtraction(Extraction& extraction, const std::atomic<bool>* cancel,
                                const std::function<void(uint64_t)>& progress);

// What checking every entry found: the entries that are not sound, and why.
struct CheckOutcome {
    std::vector<std::pair<size_t, Error>> problems;
    bool cancelled = false;
};
CheckOutcome RunCheck(const CZokFile& zok, const std::atomic<bool>* cancel,
                      const std::function<void(uint64_t)>& progress);

// What an upgrade beside the archive came to.
struct UpgradeOutcome {
    UpgradeResult result = UpgradeResult::NoNewArchive;
    UpgradeReport report;
    Error thrown;  // the archive could not be read at all (ZokError)
};
// Rewrites the version 1.0.0 archive at path as target (replacing a file there: the user was
// asked).
UpgradeOutcome RunUpgrade(const std::string& path, const std::string& target,
                          const std::atomic<bool>* cancel,
                          const std::function<void(uint64_t)>& progress);
// Why the upgrade failed, in Korean: the file or entry, and the reason.
std::string UpgradeFailure(const UpgradeOutcome& outcome);

// What changing the archive in place (files added or replaced, entries deleted) came to.
struct ChangeOutcome {
    bool written = false;
    UpdateReport report;
    Error thrown;  // a codec's exception while an input was encoded
};
// Runs the library's update of the archive at path with options (its progress and cancel are
// set here).
ChangeOutcome RunChange(const std::string& path, UpdateOptions options,
                        const std::atomic<bool>* cancel,
                        const std::function<void(uint64_t)>& progress);
// Why the change was not made, in Korean: one line per problem.
std::vector<std::string> ChangeFailures(const ChangeOutcome& outcome);

}  // namespace zok
