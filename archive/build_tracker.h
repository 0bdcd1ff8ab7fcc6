#pragma once

#include <atomic>
#include <cstdint>

#include "zok/build_archive.h"

namespace zok {

// Counts a build's progress and tells the caller through the options' callable: after each input
// and about every megabyte read within one. Reads may be
// counted on any thread; reports go out on the calling thread only.
class BuildTracker {
public:
    explicit BuildTracker(const BuildOptions& options) : m_options(options) {}

    // Input bytes read on any thread.
    void AddRead(uint64_t bytes) { m_read.fetch_add(bytes, std::memory_order_relaxed); }
    // From inside an input: reports when a megabyte more was read since the last report.
    void Report(uint64_t archiveSize);
    // An input's entry is written.
    void FileDone(uint32_t sourceSize, uint64_t archiveSize);

    bool Cancelled() const { return m_options.cancel != nullptr && m_options.cancel->load(); }
    const std::atomic<bool>* Cancel() const { return m_options.cancel; }
    bool WantsReads() const { return static_cast<bool>(m_options.progress); }
    // The sizes of all inputs, known once they are checked; before any report.
    void SetTotal(uint64_t bytes) { m_progress.bytesTotal = bytes; }

private:
    const BuildOptions& m_options;
    std::atomic<uint64_t> m_read{0};
    uint64_t m_reported = 0;
    BuildProgress m_progress;
};

}  // namespace zok
