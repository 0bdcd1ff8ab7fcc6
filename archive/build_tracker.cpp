#include "archive/build_tracker.h"

namespace zok {

void BuildTracker::Report(uint64_t archiveSize) {
    const uint64_t read = m_read.load(std::memory_order_relaxed);
    if (!m_options.progress || read - m_reported < (1u << 20)) {
        return;
    }
    m_reported = read;
    m_progress.bytesRead = read;
    m_progress.archiveSize = archiveSize;
    m_progress.fileDone = false;
    m_options.progress(m_progress);
}

void BuildTracker::FileDone(uint32_t sourceSize, uint64_t archiveSize) {
    ++m_progress.filesDone;
    m_progress.bytesDone += sourceSize;
    m_progress.bytesRead = m_reported = m_read.load(std::memory_order_relaxed);
    m_progress.archiveSize = archiveSize;
    m_progress.fileDone = true;
    if (m_options.progress) {
        m_options.progress(m_progress);
    }
}

}  // namespace zok
