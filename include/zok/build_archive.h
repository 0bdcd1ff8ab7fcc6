#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Called after each input: inputs done (1 after the first), sum of their source sizes, and
// the archive's size so far (reserved header area included).
using ProgressCallback = void (*)(int32_t filesDone, uint32_t bytesDone, uint32_t archiveSize);

// What a build tells its caller beyond success.
struct BuildReport {
    // Why the archive was not written; empty after a successful build.
    std::string error;
    // Inputs whose entry could not be encoded (kept with storedSize 0), in input order.
    std::vector<std::string> unencoded;
    // Most encoded bytes that waited in memory for the writer at one time (parallel builds).
    uint64_t peakBytesAhead = 0;
};

// How a build spreads its work.
struct BuildOptions {
    // Threads that encode inputs while the calling thread writes the archive; 0 takes one per
    // core. With 1 every input is encoded and written on the calling thread, one after another.
    // Any number gives the same archive, byte for byte.
    unsigned threads = 0;
    // Encoded bytes allowed to wait in memory ahead of the writer. The entry being written may
    // stream past it in pieces, so a build holds about this much plus a few pieces at most.
    uint64_t maxBytesAhead = 16u << 20;
};

// Writes a ZOK archive from count input paths, in order. The archive is written under a
// temporary name beside outputPath and renamed over it only when complete.
//
// Returns false, with report->error naming the file and the reason, when the archive could
// not be written (output not creatable, an input not readable, a write failure, a size past
// the format's 2 GiB limit, a name CP949 cannot hold); nothing is then left at outputPath and
// an existing file there is untouched. A codec's exception (ZokError "Not a PNG" ...) reaches
// the caller with the same clean-up done.
bool BuildArchive(const char* const* paths, const char* outputPath, int32_t count,
                  ProgressCallback callback, BuildReport* report = nullptr);

// The same for a vector of paths.
bool BuildArchive(const std::vector<std::string>& paths, const std::string& outputPath,
                  ProgressCallback callback, BuildReport* report = nullptr);

// The same with a chosen number of threads. Whatever the number, entries come in input order,
// progress is reported once per file in order on the calling thread, and failures are those a
// build on one thread meets, in the same order. The forms above use one thread per core.
bool BuildArchive(const std::vector<std::string>& paths, const std::string& outputPath,
                  ProgressCallback callback, BuildReport* report, const BuildOptions& options);
