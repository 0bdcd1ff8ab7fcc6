#pragma once

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <string>
#include <vector>

#include "archive/checked_inputs.h"
#include "archive/entry_writer.h"
#include "archive/spill_file.h"
#include "zok/build_archive.h"

namespace zok {

// A piece of one entry's encoded data at its position within the entry: in memory, or in the
// spill file once it had to leave memory.
struct Piece {
    uint64_t pos = 0;
    std::vector<uint8_t> bytes;
    int64_t spilledAt = -1;  // its place in the spill file, or -1 while in memory
    uint64_t spilledSize = 0;
};

// What a worker found out about one input, beside its data.
struct Outcome {
    EntryWriteStatus status = EntryWriteStatus::Written;
    bool failedBeforeEncoding = false;  // could not be opened again, or not the file checked
    Error problem{};
    std::exception_ptr exception;
    uint32_t sourceSize = 0;
    uint32_t storedSize = 0;
    EntryKind kind = EntryKind::Other;
    uint64_t end = 0;  // the entry stream's position after encoding: its length in the archive
};

// A worker's encoded pieces and finished entries that the writer has not been given yet, in
// input order. Handing them over together keeps the hand-offs between threads far fewer than
// the entries when the inputs are small.
struct Handover {
    struct Item {
        size_t index = 0;
        std::vector<Piece> pieces;
        bool done = false;
        Outcome outcome;  // valid once done
    };
    std::vector<Item> items;
    uint64_t bytes = 0;

    // Room for the items of a whole run, made before the worker starts, so that handing an
    // outcome over never needs memory.
    Handover() { items.reserve(kMaxRunInputs); }
    // The item of entry i: the last one, or a new one after it.
    Item& ItemOf(size_t i);

    static constexpr size_t kMaxRunInputs = 256;
};

// What the workers and the writer of a parallel build share: which inputs are claimed, and the
// encoded data waiting for the writer. Workers claim runs of consecutive inputs, several small
// ones at a time (by their bytes, so that each run is worth a hand-off); runs shrink towards the
// end so that the workers finish together. Inputs are claimed once they passed their checks, at
// most kWindow ahead of the one being written, and encoded bytes waiting for the writer are capped;
// only the entry being written may pass the cap, so the build never waits on itself. When a worker
// waits on the cap while the entry being written is still encoded (one long input ahead of many),
// the writer moves the data of the entries behind it to an unnamed spill file in spillFolder, so
// that the workers go on in bounded memory; those entries are copied into place in their turn.
class EncodePipeline {
public:
    // Inputs that may be claimed ahead of the one being written. Bounds the bookkeeping for
    // archives of very many small files; the byte cap bounds the data.
    static constexpr size_t kWindow = 1024;

    EncodePipeline(const CheckedInputs& inputs, size_t count, unsigned threads,
                   uint64_t maxBytesAhead, std::string spillFolder);

    // Bytes a worker fills a piece with, and hands over once it holds them.
    size_t PieceBytes() const { return m_pieceBytes; }
    uint64_t Peak() const { return m_peak; }

    // The first count inputs passed their checks and may be claimed.
    void SetChecked(size_t count);
    // The next run [*first, *last) for a worker, waiting while the window is full or the next
    // input is not checked yet; false when there is none or the build stopped.
    bool ClaimRun(size_t* first, size_t* last);

    // Gives the writer everything in handover and empties it, waiting while the cap is reached
    // (unless it holds the entry being written). False when the build stopped.
    bool Hand(Handover& handover);

    // Makes entry i the one being written; the slot of the entry before it is free again.
    void SetHead(size_t i);
    // Moves the pieces of entry i that are ready into *pieces, waiting for some or for its end
    // (and spilling the entries behind it while workers wait on the cap). True once the entry is
    // done and *pieces holds its last ones.
    bool TakeReady(size_t i, std::vector<Piece>* pieces);
    // Reads size bytes of a spilled piece from offset on; false (with errno) when they cannot be.
    bool ReadSpilled(const Piece& piece, uint64_t offset, uint8_t* buffer, size_t size) const;
    // What became of entry i, once TakeReady returned true. Pieces of it that could not be
    // kept for want of memory make it fail.
    Outcome& OutcomeOf(size_t i);

    // Stops the workers: claims and hand-overs fail from now on.
    void Cancel();

private:
    // One input's encoding as the writer receives it.
    struct Slot {
        std::vector<Piece> pieces;
        uint64_t buffered = 0;
        bool done = false;
        bool memoryLost = false;
        Outcome outcome;
    };

    Slot& SlotOf(size_t i) { return m_slots[i % m_slots.size()]; }
    uint64_t Cost(size_t i) const;
    uint64_t RunCost() const;
    bool SpillWanted(size_t head);
    void SpillBehind(size_t head, std::unique_lock<std::mutex>& lock);

    const CheckedInputs& m_inputs;
    const size_t m_count;
    const unsigned m_threads;
    std::vector<Slot> m_slots;
    const uint64_t m_cap;
    const size_t m_pieceBytes;

    std::mutex m_mutex;
    std::condition_variable m_workerCv;  // room under the cap or in the window, or a stop
    std::condition_variable m_writerCv;  // a piece or the end of the head entry
    size_t m_checked = 0;
    size_t m_next = 0;
    uint64_t m_unclaimed = 0;  // the cost of the inputs not claimed yet
    size_t m_head = 0;
    uint64_t m_total = 0;
    uint64_t m_peak = 0;
    bool m_cancelled = false;
    size_t m_capWaiters = 0;  // workers waiting on the cap

    // The writer's alone: the spill file and the bytes in it not yet copied into place.
    const std::string m_spillFolder;
    SpillFile m_spill;
    bool m_spillBroken = false;
    uint64_t m_spilledLive = 0;
    uint64_t m_spilledTaken = 0;  // handed to the writer with the entry being written
};

}  // namespace zok
