#include "archive/parallel_encoder.h"

#include <algorithm>
#include <cerrno>
#include <exception>
#include <memory>
#include <system_error>
#include <thread>

#include "archive/encode_pipeline.h"
#include "archive/entry_sink.h"
#include "archive/entry_writer.h"
#include "codecs/codec_table.h"
#include "io/input_file.h"

namespace zok {

namespace {

// What one worker encodes with. Made on the calling thread before the worker starts, so that a
// worker never needs memory to report what became of an input.
struct WorkerKit {
    CCodecTable codecs;
    std::vector<char> streamBuffer = std::vector<char>(64 * 1024);
    Handover handover;
};

class Worker {
public:
    Worker(EncodePipeline& pipeline, CheckedInputs& inputs,
           const std::vector<const EntryKindRule*>& rules, BuildTracker& tracker, WorkerKit& kit)
        : m_pipeline(pipeline), m_inputs(inputs), m_rules(rules), m_tracker(tracker), m_kit(kit) {}

    // Encodes runs of inputs until none is left or the build stopped.
    void Run() {
        size_t first = 0;
        size_t last = 0;
        while (m_pipeline.ClaimRun(&first, &last)) {
            for (size_t i = first; i < last; ++i) {
                EncodeOne(i);
            }
            if (!m_pipeline.Hand(m_kit.handover)) {
                return;
            }
        }
    }

private:
    void EncodeOne(size_t i);

    EncodePipeline& m_pipeline;
    CheckedInputs& m_inputs;
    const std::vector<const EntryKindRule*>& m_rules;
    BuildTracker& m_tracker;
    WorkerKit& m_kit;
};

void Worker::EncodeOne(size_t i) {
    Outcome outcome;
    uint64_t counted = 0;
    try {
        InputFile input;
        if (!m_inputs.Open(i, input, &outcome.problem)) {
            outcome.status = EntryWriteStatus::Failed;
            outcome.failedBeforeEncoding = true;
        } else {
            input.SetCancel(m_tracker.Cancel());
            if (m_tracker.WantsReads()) {
                input.OnRead([this, &counted](uint64_t read) {
                    m_tracker.AddRead(read - counted);
                    counted = read;
                });
            }
            EntryRecord record;
            record.sourceSize = input.Size();
            EntrySink sink(m_pipeline, m_kit.handover, i);
            FileHandle stream(sink.Open(m_kit.streamBuffer));
            if (!stream) {
                outcome.status = EntryWriteStatus::Failed;
                outcome.problem = MakeError(ErrorCode::CannotWrite, "", "", errno);
            } else {
                try {
                    outcome.status = EncodeInput(m_kit.codecs, input, *m_rules[i], stream.Get(),
                                                 record, &outcome.problem);
                } catch (...) {
                    outcome.exception = std::current_exception();
                }
                errno = 0;
                const bool flushed = stream.Close() && sink.Close();
                if (!flushed && !outcome.exception && outcome.status != EntryWriteStatus::Failed) {
                    outcome.status = EntryWriteStatus::Failed;
                    outcome.problem = MakeError(
                        m_tracker.Cancelled() ? ErrorCode::Cancelled : ErrorCode::CannotWrite, "",
                        "", errno != 0 ? errno : EIO);
                }
                outcome.end = sink.Position();
            }
            m_tracker.AddRead(input.Size() - std::min<uint64_t>(counted, input.Size()));
            outcome.sourceSize = record.sourceSize;
            outcome.storedSize = record.storedSize;
            outcome.kind = record.kind;
        }
    } catch (...) {
        outcome.exception = std::current_exception();
    }
    // The handover has room for every input of the run: this needs no memory.
    Handover::Item& item = m_kit.handover.ItemOf(i);
    item.outcome = std::move(outcome);
    item.done = true;
}

// Writes one piece of an entry at `at` in the archive, copying it from the spill file in parts
// when it was spilled.
bool WritePiece(const EncodePipeline& pipeline, const Piece& piece, uint64_t at, ZokWriter& writer,
                std::vector<uint8_t>& buffer, Error* problem) {
    if (piece.spilledAt < 0) {
        return writer.WriteAt(at, piece.bytes.data(), piece.bytes.size(), problem);
    }
    buffer.resize(256 * 1024);
    for (uint64_t done = 0; done < piece.spilledSize;) {
        const size_t n = size_t(std::min<uint64_t>(buffer.size(), piece.spilledSize - done));
        if (!pipeline.ReadSpilled(piece, done, buffer.data(), n)) {
            *problem = MakeError(ErrorCode::CannotWrite, "", "", errno != 0 ? errno : EIO);
            return false;
        }
        if (!writer.WriteAt(at + done, buffer.data(), n, problem)) {
            return false;
        }
        done += n;
    }
    return true;
}

// Stops and joins the workers however the writer leaves.
class WorkerThreads {
public:
    // Starts up to count threads; fewer when the system refuses more.
    WorkerThreads(EncodePipeline& pipeline, std::vector<Worker>& workers) : m_pipeline(pipeline) {
        try {
            for (Worker& worker : workers) {
                m_threads.emplace_back([&worker] { worker.Run(); });
            }
        } catch (const std::system_error&) {
        }
    }
    ~WorkerThreads() {
        m_pipeline.Cancel();
        for (std::thread& thread : m_threads) {
            thread.join();
        }
    }
    WorkerThreads(const WorkerThreads&) = delete;
    WorkerThreads& operator=(const WorkerThreads&) = delete;

    size_t Count() const { return m_threads.size(); }

private:
    EncodePipeline& m_pipeline;
    std::vector<std::thread> m_threads;
};

}  // namespace

struct ParallelEncoder::Workers {
    Workers(CheckedInputs& inputs, const std::vector<const EntryKindRule*>& rules,
            const ParallelPlan& plan, BuildTracker& tracker)
        : tracker(tracker),
          pipeline(inputs, rules.size(), plan.threads, plan.maxBytesAhead, plan.spillFolder) {
        kits.reserve(plan.threads);
        workers.reserve(plan.threads);
        for (unsigned t = 0; t < plan.threads; ++t) {
            kits.push_back(std::make_unique<WorkerKit>());
            workers.emplace_back(pipeline, inputs, rules, tracker, *kits.back());
        }
        running = std::make_unique<WorkerThreads>(pipeline, workers);
    }

    BuildTracker& tracker;
    EncodePipeline pipeline;
    std::vector<std::unique_ptr<WorkerKit>> kits;
    std::vector<Worker> workers;
    std::unique_ptr<WorkerThreads> running;  // the first to go: stops and joins the threads
};

ParallelEncoder::ParallelEncoder(CheckedInputs& inputs,
                                 const std::vector<const EntryKindRule*>& rules,
                                 const ParallelPlan& plan, BuildTracker& tracker)
    : m_workers(std::make_unique<Workers>(inputs, rules, plan, tracker)) {}

ParallelEncoder::~ParallelEncoder() = default;

void ParallelEncoder::Checked(size_t count) {
    m_workers->pipeline.SetChecked(count);
}

ParallelResult ParallelEncoder::Write(const std::vector<std::string>& paths, ZokWriter& writer,
                                      BuildReport& report) {
    EncodePipeline& pipeline = m_workers->pipeline;
    BuildTracker& tracker = m_workers->tracker;
    struct PeakNote {
        const EncodePipeline& pipeline;
        BuildReport& report;
        ~PeakNote() { report.peakBytesAhead = pipeline.Peak(); }
    } peakNote{pipeline, report};
    if (m_workers->running->Count() == 0) {
        return ParallelResult::NoThreads;
    }
    const auto fail = [&report](Error problem, const std::string& path) {
        if (problem.path.empty()) {
            problem.path = path;
        }
        report.problems.push_back(problem);
        return ParallelResult::Failed;
    };

    std::vector<Piece> pieces;
    std::vector<uint8_t> copyBuffer;
    for (size_t i = 0; i < paths.size(); ++i) {
        pipeline.SetHead(i);
        Error placeProblem{};
        const bool placed = writer.BeginEntry(i, paths[i], &placeProblem);
        const uint64_t offset = writer.End();
        Error writeProblem{};
        bool writeFailed = false;
        for (bool done = false; !done;) {
            done = pipeline.TakeReady(i, &pieces);
            for (const Piece& piece : pieces) {
                // After a failure the rest of the entry is only drained; its outcome decides
                // the message, in the order a build on one thread meets them.
                if (placed && !writeFailed && !tracker.Cancelled()) {
                    writeFailed = !WritePiece(pipeline, piece, offset + piece.pos, writer,
                                              copyBuffer, &writeProblem);
                }
                tracker.Report(offset + piece.pos + piece.bytes.size() + piece.spilledSize);
            }
        }
        Outcome& slot = pipeline.OutcomeOf(i);
        if (tracker.Cancelled()) {
            return fail(MakeError(ErrorCode::Cancelled), "");
        }
        if (slot.failedBeforeEncoding) {
            return fail(slot.problem, paths[i]);
        }
        if (!placed) {
            return fail(placeProblem, paths[i]);
        }
        if (slot.exception) {
            report.currentInput = paths[i];
            std::rethrow_exception(slot.exception);
        }
        if (writeFailed) {
            return fail(writeProblem, paths[i]);
        }
        if (slot.status == EntryWriteStatus::Failed) {
            return fail(slot.problem, paths[i]);
        }
        // The next entry starts where this one's stream ended, as in a file.
        Error endProblem{};
        if (!writer.EndEntry(i, offset + slot.end, slot.sourceSize, slot.storedSize, slot.kind,
                             paths[i], &endProblem)) {
            return fail(endProblem, paths[i]);
        }
        if (slot.status == EntryWriteStatus::Unencoded) {
            report.unencoded.push_back(paths[i]);
        }
        tracker.FileDone(slot.sourceSize, writer.End());
    }
    return ParallelResult::Written;
}

}  // namespace zok
