#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/build_tracker.h"
#include "archive/checked_inputs.h"
#include "archive/entry_kinds.h"
#include "archive/zok_writer.h"
#include "zok/build_archive.h"

namespace zok {

// Packs inputs on worker threads: each input is encoded into memory of its own while the
// calling thread writes the entries into the archive in input order, streaming the entry it is
// on while its worker still encodes it. Small inputs go to workers in runs, and their data comes
// back in batches (see EncodePipeline). Encoded data waiting for the writer in memory is capped
// (maxBytesAhead); only the entry being written may pass the cap, one piece at a time, and what
// waits behind a long entry may go to a spill file instead.

enum class ParallelResult { Written, Failed, NoThreads };

// How a parallel build spreads its work.
struct ParallelPlan {
    unsigned threads = 2;
    uint64_t maxBytesAhead = 16u << 20;
    std::string spillFolder;  // where data may wait on disk (unnamed); empty: never
};

class ParallelEncoder {
public:
    // Starts up to plan.threads workers (fewer when the system refuses more). They encode an
    // input only once it has passed its check (see Checked); rules[i] chooses each codec.
    ParallelEncoder(CheckedInputs& inputs, const std::vector<const EntryKindRule*>& rules,
                    const ParallelPlan& plan, BuildTracker& tracker);
    // Stops and joins the workers, whatever became of the build.
    ~ParallelEncoder();
    ParallelEncoder(const ParallelEncoder&) = delete;
    ParallelEncoder& operator=(const ParallelEncoder&) = delete;

    // The first count inputs passed their checks: workers may encode them while the rest are
    // checked.
    void Checked(size_t count);

    // Writes an entry for every path into writer, in order. Returns Failed with the problem in
    // report when the build cannot go on; the problems and their order are those a build on
    // one thread meets, and codec exceptions are raised again here, in input order. NoThreads
    // when not one worker could be started (nothing was written).
    ParallelResult Write(const std::vector<std::string>& paths, ZokWriter& writer,
                         BuildReport& report);

private:
    struct Workers;
    std::unique_ptr<Workers> m_workers;
};

}  // namespace zok
