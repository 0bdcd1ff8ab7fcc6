#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "zok/error.h"
#include "zok/export.h"

namespace zok {

class InputSet;

// Called after each input: inputs done (1 after the first), sum of their source sizes, and
// the archive's size so far (reserved header area included).
using ProgressCallback = void (*)(int32_t filesDone, uint32_t bytesDone, uint32_t archiveSize);

// Where a build stands, for a progress display.
struct BuildProgress {
    int32_t filesDone = 0;     // inputs whose entry is written (1 after the first)
    uint64_t bytesDone = 0;    // sum of the sizes of those inputs
    uint64_t bytesRead = 0;    // input bytes read so far, within the input being packed too
    uint64_t archiveSize = 0;  // the archive's size so far, reserved header area included
    bool fileDone = false;     // this report ends an input (else it comes from inside one)
    uint64_t bytesTotal = 0;   // the sizes of all inputs, as they were checked
};

// What a build tells its caller beyond success.
struct BuildReport {
    // Why the archive was not written: every problem found, each naming its file (an input or
    // the archive): CannotRead, IsAFolder / IsAFifo / IsASocket / IsADevice, FileTooLarge,
    // NameNotInCp949, InputIsOutput, FileChanged, CannotWrite, ArchiveWouldBeTooLarge,
    // Cancelled, OutOfMemory. Empty after a successful build.
    std::vector<Error> problems;
    // Inputs whose entry could not be encoded (kept with storedSize 0), in input order.
    std::vector<std::string> unencoded;
    // The input being packed when a codec raised an exception, or empty.
    std::string currentInput;
    // Most encoded bytes that waited in memory for the writer at one time (parallel builds).
    uint64_t peakBytesAhead = 0;
};

// How a build spreads its work and whom it tells.
struct BuildOptions {
    // Threads that encode inputs while the calling thread writes the archive; 0 takes one per
    // core. With 1 every input is encoded and written on the calling thread, one after another.
    // Any number gives the same archive, byte for byte.
    unsigned threads = 0;
    // Encoded bytes allowed to wait in memory ahead of the writer. The entry being written may
    // stream past it in pieces, so a build holds about this much plus a few pieces at most.
    uint64_t maxBytesAhead = 16u << 20;
    // Called on the calling thread after each input (fileDone) and, within large inputs, about
    // every megabyte read. May be empty.
    std::function<void(const BuildProgress&)> progress;
    // Set from any thread to stop the build: it then fails with a Cancelled problem and leaves
    // nothing behind. May be null.
    const std::atomic<bool>* cancel = nullptr;
};

// Writes a ZOK archive from count input paths, in order. The archive is written unnamed (or
// under a temporary name) beside outputPath and put in place only when complete; an existing
// file there is replaced then, keeping its permissions, and a symbolic link there is followed.
//
// How it fails: returns false, with report->problems naming each file and its problem, when the
// archive could not be written: every input is checked before anything is written (each that
// cannot be read, is not a file, is too large, has a name CP949 cannot hold or is the output
// itself is named),
// and a write failure, the 2 GiB limit, an input that changes while it is read, or a cancel
// stops the build. Nothing is then left at outputPath and an existing file there is untouched.
// A codec's exception (ZokError "Not a PNG" ...) reaches the caller with the same clean-up
// done, and report->currentInput naming the input.
//
// Threads: a build runs on the calling thread (with BuildOptions::threads workers of its own)
// and reports there; builds of different archives may run at once.
ZOK_API bool BuildArchive(const char* const* paths, const char* outputPath, int32_t count,
                          ProgressCallback callback, BuildReport* report = nullptr);

// The same for a vector of paths.
ZOK_API bool BuildArchive(const std::vector<std::string>& paths, const std::string& outputPath,
                          ProgressCallback callback, BuildReport* report = nullptr);

// The same with options. Whatever the number of threads, entries come in input order, progress
// is reported in order on the calling thread, and failures are those a build on one thread
// meets, in the same order. The plain callback, when given, is called after each input with the
// counts cut to its 32 bits; options.progress gets them whole.
ZOK_API bool BuildArchive(const std::vector<std::string>& paths, const std::string& outputPath,
                          ProgressCallback callback, BuildReport* report,
                          const BuildOptions& options);

// The same for the files of a set, reading the descriptors the set opened (see InputSet); they
// are used up, so a set is built once. Problems name the files as the set gives them.
ZOK_API bool BuildArchive(InputSet& inputs, const std::string& outputPath,
                          ProgressCallback callback, BuildReport* report,
                          const BuildOptions& options);

// The problems BuildArchive would find among the inputs before writing anything (see there),
// for a caller that wants to show them all first.
ZOK_API std::vector<Error> CheckBuildInputs(const std::vector<std::string>& paths,
                                            const std::string& outputPath);

}  // namespace zok
