#include "archive/encode_pipeline.h"

#include <algorithm>
#include <cerrno>
#include <iterator>

namespace zok {

namespace {

// What opening, measuring and setting up one input costs, in bytes of deflate work: a run of
// empty files is no free lunch.
constexpr uint64_t kInputCost = 1024;
// The smallest run worth a hand-off, and the share of the work left that one run may take.
constexpr uint64_t kMinRunCost = 16 * 1024;
constexpr uint64_t kRunsPerThreadLeft = 8;

uint64_t BytesOf(const std::vector<Piece>& pieces) {
    uint64_t bytes = 0;
    for (const Piece& piece : pieces) {
        bytes += piece.bytes.size();
    }
    return bytes;
}

}  // namespace

Handover::Item& Handover::ItemOf(size_t i) {
    if (items.empty() || items.back().index != i) {
        items.emplace_back();
        items.back().index = i;
    }
    return items.back();
}

EncodePipeline::EncodePipeline(const CheckedInputs& inputs, size_t count, unsigned threads,
                               uint64_t maxBytesAhead, std::string spillFolder)
    : m_inputs(inputs),
      m_count(count),
      m_threads(std::max(threads, 1u)),
      m_slots(std::min(count, kWindow)),
      m_cap(std::max<uint64_t>(maxBytesAhead, 1)),
      m_pieceBytes(size_t(std::clamp<uint64_t>(m_cap / 4, 4096, 256 * 1024))),
      m_spillFolder(std::move(spillFolder)) {
    for (size_t i = 0; i < count; ++i) {
        m_unclaimed += Cost(i);
    }
}

uint64_t EncodePipeline::Cost(size_t i) const {
    return m_inputs.Size(i) + kInputCost;
}

// Large while much is left, smaller towards the end so that no worker is left with a long run
// while the others wait; never more than half a piece, so that a run's data is handed over at
// once.
uint64_t EncodePipeline::RunCost() const {
    const uint64_t share = m_unclaimed / (uint64_t(m_threads) * kRunsPerThreadLeft);
    return std::min<uint64_t>(std::max(share, kMinRunCost), m_pieceBytes / 2);
}

void EncodePipeline::SetChecked(size_t count) {
    std::lock_guard lock(m_mutex);
    m_checked = count;
    m_workerCv.notify_all();
}

bool EncodePipeline::ClaimRun(size_t* first, size_t* last) {
    std::unique_lock lock(m_mutex);
    const auto claimable = [&](size_t i) { return i < m_checked && i < m_head + m_slots.size(); };
    m_workerCv.wait(lock, [&] { return m_cancelled || m_next >= m_count || claimable(m_next); });
    if (m_cancelled || m_next >= m_count) {
        return false;
    }
    // One input at least; more while they fit the run's cost together.
    const uint64_t target = RunCost();
    *first = m_next;
    uint64_t cost = Cost(m_next++);
    while (m_next < m_count && m_next - *first < Handover::kMaxRunInputs && claimable(m_next) &&
           cost + Cost(m_next) <= target) {
        cost += Cost(m_next++);
    }
    m_unclaimed -= cost;
    *last = m_next;
    return true;
}

bool EncodePipeline::Hand(Handover& handover) {
    if (handover.items.empty()) {
        return true;
    }
    std::unique_lock lock(m_mutex);
    // Only the first item can be the entry being written: the writer is not past any entry
    // that is not done.
    const size_t first = handover.items.front().index;
    const auto room = [&] {
        return m_cancelled || m_total + handover.bytes <= m_cap ||
               (first == m_head && SlotOf(first).buffered == 0);
    };
    if (!room()) {
        // The writer may make room by spilling what waits behind the entry it writes.
        ++m_capWaiters;
        m_writerCv.notify_one();
        m_workerCv.wait(lock, room);
        --m_capWaiters;
    }
    if (m_cancelled) {
        return false;
    }
    bool wakeWriter = false;
    for (Handover::Item& item : handover.items) {
        Slot& slot = SlotOf(item.index);
        uint64_t bytes = BytesOf(item.pieces);
        if (slot.pieces.empty()) {
            slot.pieces = std::move(item.pieces);
        } else {
            try {
                slot.pieces.insert(slot.pieces.end(), std::make_move_iterator(item.pieces.begin()),
                                   std::make_move_iterator(item.pieces.end()));
            } catch (...) {
                slot.memoryLost = true;
                bytes = 0;
            }
        }
        slot.buffered += bytes;
        m_total += bytes;
        if (item.done) {
            slot.outcome = std::move(item.outcome);
            slot.done = true;
        }
        wakeWriter = wakeWriter || item.index == m_head;
    }
    m_peak = std::max(m_peak, m_total);
    handover.items.clear();
    handover.bytes = 0;
    if (wakeWriter) {
        m_writerCv.notify_one();
    }
    return true;
}

void EncodePipeline::SetHead(size_t i) {
    // The entry before it is written: its spilled bytes are no longer needed.
    m_spilledLive -= m_spilledTaken;
    m_spilledTaken = 0;
    if (m_spilledLive == 0) {
        m_spill.Rewind();
    }
    std::lock_guard lock(m_mutex);
    if (i > 0) {
        SlotOf(i - 1) = Slot();
    }
    m_head = i;
    m_workerCv.notify_all();
}

bool EncodePipeline::TakeReady(size_t i, std::vector<Piece>* pieces) {
    pieces->clear();
    std::unique_lock lock(m_mutex);
    Slot& slot = SlotOf(i);
    for (;;) {
        m_writerCv.wait(lock, [&] { return !slot.pieces.empty() || slot.done || SpillWanted(i); });
        if (!slot.pieces.empty() || slot.done) {
            break;
        }
        SpillBehind(i, lock);
    }
    std::swap(*pieces, slot.pieces);
    for (const Piece& piece : *pieces) {
        m_spilledTaken += piece.spilledSize;
    }
    const uint64_t bytes = BytesOf(*pieces);
    slot.buffered -= bytes;
    m_total -= bytes;
    if (bytes > 0) {
        m_workerCv.notify_all();
    }
    if (slot.done && slot.memoryLost && !slot.outcome.exception &&
        slot.outcome.status != EntryWriteStatus::Failed) {
        slot.outcome.status = EntryWriteStatus::Failed;
        slot.outcome.problem = MakeError(ErrorCode::CannotWrite, "", "", ENOMEM);
    }
    return slot.done;
}

bool EncodePipeline::SpillWanted(size_t head) {
    return m_capWaiters > 0 && !m_spillBroken && !m_spillFolder.empty() &&
           m_total > SlotOf(head).buffered;
}

// Writes every piece in memory of the entries behind head to the spill file, the lock given up
// meanwhile: workers only add pieces at the end of their entries, and only this thread takes
// any away, so the pieces found stay where they are. A piece that cannot be written stays in
// memory, and there is no spilling from then on.
void EncodePipeline::SpillBehind(size_t head, std::unique_lock<std::mutex>& lock) {
    struct Job {
        size_t entry;
        size_t piece;
        const uint8_t* data;
        size_t size;
        int64_t at;
    };
    std::vector<Job> jobs;
    for (size_t k = head + 1; k < head + m_slots.size(); ++k) {
        const std::vector<Piece>& pieces = SlotOf(k).pieces;
        for (size_t p = 0; p < pieces.size(); ++p) {
            if (pieces[p].spilledAt < 0 && !pieces[p].bytes.empty()) {
                jobs.push_back({k, p, pieces[p].bytes.data(), pieces[p].bytes.size(), -1});
            }
        }
    }
    lock.unlock();
    bool broken = !m_spill.IsOpen() && !m_spill.Create(m_spillFolder);
    for (Job& job : jobs) {
        if (broken || (job.at = m_spill.Append(job.data, job.size)) < 0) {
            broken = true;
            break;
        }
    }
    lock.lock();
    m_spillBroken = broken;
    for (const Job& job : jobs) {
        if (job.at < 0) {
            break;
        }
        Slot& slot = SlotOf(job.entry);
        Piece& piece = slot.pieces[job.piece];
        piece.spilledAt = job.at;
        piece.spilledSize = job.size;
        std::vector<uint8_t>().swap(piece.bytes);
        slot.buffered -= job.size;
        m_total -= job.size;
        m_spilledLive += job.size;
    }
    m_workerCv.notify_all();
}

bool EncodePipeline::ReadSpilled(const Piece& piece, uint64_t offset, uint8_t* buffer,
                                 size_t size) const {
    return m_spill.ReadAt(uint64_t(piece.spilledAt) + offset, buffer, size);
}

Outcome& EncodePipeline::OutcomeOf(size_t i) {
    return SlotOf(i).outcome;
}

void EncodePipeline::Cancel() {
    std::lock_guard lock(m_mutex);
    m_cancelled = true;
    m_workerCv.notify_all();
}

}  // namespace zok
