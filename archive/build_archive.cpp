#include "zok/build_archive.h"

#include <algorithm>
#include <cerrno>
#include <functional>
#include <optional>
#include <thread>

#include "archive/build_tracker.h"
#include "archive/checked_inputs.h"
#include "archive/entry_kinds.h"
#include "archive/entry_writer.h"
#include "archive/parallel_encoder.h"
#include "archive/zok_format.h"
#include "archive/zok_writer.h"
#include "codecs/codec_table.h"
#include "io/atomic_file.h"
#include "io/input_file.h"
#include "io/links.h"
#include "io/names.h"
#include "io/regular_file.h"
#include "io/system_reason.h"

namespace zok {

namespace {

bool Fail(BuildReport& report, Error problem) {
    report.problems.push_back(std::move(problem));
    return false;
}

// Writes every entry on the calling thread, one input after another.
bool WriteEntriesInTurn(const std::vector<std::string>& paths, CheckedInputs& inputs,
                        const std::vector<const EntryKindRule*>& rules, ZokWriter& writer,
                        BuildTracker& tracker, BuildReport& report) {
    const CCodecTable codecs;
    for (size_t i = 0; i < paths.size(); ++i) {
        if (tracker.Cancelled()) {
            return Fail(report, MakeError(ErrorCode::Cancelled));
        }
        Error problem{};
        InputFile input;
        if (!inputs.Open(i, input, &problem) || !writer.BeginEntry(i, paths[i], &problem)) {
            return Fail(report, problem);
        }
        input.SetCancel(tracker.Cancel());
        uint64_t counted = 0;
        input.OnRead([&](uint64_t read) {
            tracker.AddRead(read - counted);
            counted = read;
            tracker.Report(writer.StreamPosition());
        });
        EntryRecord record;
        EntryWriteStatus status;
        try {
            status = EncodeInput(codecs, input, *rules[i], writer.Stream(), record, &problem);
        } catch (...) {
            report.currentInput = paths[i];
            throw;
        }
        tracker.AddRead(input.Size() - std::min<uint64_t>(counted, input.Size()));
        if (status == EntryWriteStatus::Failed) {
            if (problem.path.empty()) {
                problem.path = paths[i];
            }
            return Fail(report, problem);
        }
        if (!writer.EndEntry(i, writer.StreamPosition(), record.sourceSize, record.storedSize,
                             record.kind, paths[i], &problem)) {
            return Fail(report, problem);
        }
        if (status == EntryWriteStatus::Unencoded) {
            report.unencoded.push_back(paths[i]);
        }
        tracker.FileDone(record.sourceSize, writer.End());
    }
    return true;
}

unsigned ThreadCount(const BuildOptions& options, size_t inputs) {
    unsigned threads = options.threads;
    if (threads == 0) {
        threads = std::max(1u, std::thread::hardware_concurrency());
    }
    return unsigned(std::min<size_t>(threads, std::max<size_t>(inputs, 1)));
}

bool Build(const std::vector<std::string>& paths, CheckedInputs& inputs,
           const std::string& outputPath, BuildReport& report, const BuildOptions& options) {
    // The directory as it goes to disk: names converted to CP949 before anything is written.
    std::vector<std::optional<std::string>> names(paths.size());
    std::vector<const EntryKindRule*> rules(paths.size());
    for (size_t i = 0; i < paths.size(); ++i) {
        names[i] = Utf8ToCp949(BaseName(paths[i]));
        rules[i] = names[i] ? &WriteRuleFor(*names[i]) : nullptr;
    }
    BuildTracker tracker(options);
    const unsigned threads = ThreadCount(options, paths.size());
    std::optional<ParallelEncoder> encoder;
    if (threads > 1) {
        ParallelPlan plan;
        plan.threads = threads;
        plan.maxBytesAhead = options.maxBytesAhead;
        // Data waiting behind a long entry may wait beside the archive, on its file system.
        std::string target;
        int linkError = 0;
        plan.spillFolder =
            FolderOf(FollowLinks(outputPath, &target, &linkError) ? target : outputPath);
        encoder.emplace(inputs, rules, plan, tracker);
    }
    // Every problem among the inputs is found before anything is written, so that the user can
    // mend them all at once; the descriptors opened for the check are the ones read, and the
    // workers start on the inputs that passed while the others are checked.
    const auto passed = [&encoder](size_t count) { encoder->Checked(count); };
    inputs.Check(outputPath, names, report.problems,
                 encoder ? std::function<void(size_t)>(passed) : nullptr);
    if (!report.problems.empty()) {
        return false;
    }
    uint64_t total = 0;
    for (size_t i = 0; i < paths.size(); ++i) {
        total += inputs.Size(i);
    }
    tracker.SetTotal(total);
    std::vector<std::string> cp949Names(paths.size());
    for (size_t i = 0; i < paths.size(); ++i) {
        cp949Names[i] = std::move(*names[i]);
    }

    ZokWriter writer(std::move(cp949Names));
    Error problem{};
    if (!writer.Create(outputPath, &problem)) {
        return Fail(report, problem);
    }
    switch (encoder ? encoder->Write(paths, writer, report) : ParallelResult::NoThreads) {
        case ParallelResult::Failed:
            return false;
        case ParallelResult::Written:
            break;
        case ParallelResult::NoThreads:
            if (!WriteEntriesInTurn(paths, inputs, rules, writer, tracker, report)) {
                return false;
            }
            break;
    }
    if (tracker.Cancelled()) {
        return Fail(report, MakeError(ErrorCode::Cancelled, outputPath));
    }
    return writer.Commit(true, &problem) || Fail(report, problem);
}

}  // namespace

std::vector<Error> CheckBuildInputs(const std::vector<std::string>& paths,
                                    const std::string& outputPath) {
    std::vector<std::optional<std::string>> names(paths.size());
    for (size_t i = 0; i < paths.size(); ++i) {
        names[i] = Utf8ToCp949(BaseName(paths[i]));
    }
    std::vector<Error> problems;
    CheckedInputs(paths, 0).Check(outputPath, names, problems);
    return problems;
}

namespace {

// Builds from inputs (checked and read from paths, which they were made of), the callback and
// options merged into one progress, and every problem naming its file.
bool BuildChecked(const std::vector<std::string>& paths, CheckedInputs& inputs,
                  const std::string& outputPath, ProgressCallback callback, BuildReport* reportOut,
                  const BuildOptions& options) {
    BuildReport localReport;
    BuildReport& report = reportOut != nullptr ? *reportOut : localReport;
    report = BuildReport();
    // One progress form: the plain callback hears the options' reports that end an input.
    BuildOptions merged = options;
    if (callback != nullptr) {
        merged.progress = [callback, given = options.progress](const BuildProgress& p) {
            if (p.fileDone) {
                callback(p.filesDone, uint32_t(p.bytesDone), uint32_t(p.archiveSize));
            }
            if (given) {
                given(p);
            }
        };
    }
    // A codec's exception passes through; the writer has removed what it wrote by then.
    const bool written = Build(paths, inputs, outputPath, report, merged);
    if (!written) {
        for (Error& problem : report.problems) {
            if (problem.path.empty()) {
                problem.path = outputPath;
            }
        }
    }
    return written;
}

}  // namespace

bool BuildArchive(const std::vector<std::string>& paths, const std::string& outputPath,
                  ProgressCallback callback, BuildReport* report, const BuildOptions& options) {
    CheckedInputs inputs(paths, CheckedInputs::DefaultBudget());
    return BuildChecked(paths, inputs, outputPath, callback, report, options);
}

bool BuildArchive(InputSet& set, const std::string& outputPath, ProgressCallback callback,
                  BuildReport* report, const BuildOptions& options) {
    CheckedInputs inputs(set, CheckedInputs::DefaultBudget());
    return BuildChecked(set.Files().files, inputs, outputPath, callback, report, options);
}

bool BuildArchive(const std::vector<std::string>& paths, const std::string& outputPath,
                  ProgressCallback callback, BuildReport* report) {
    return BuildArchive(paths, outputPath, callback, report, BuildOptions());
}

bool BuildArchive(const char* const* paths, const char* outputPath, int32_t count,
                  ProgressCallback callback, BuildReport* report) {
    std::vector<std::string> list;
    list.reserve(count > 0 ? size_t(count) : 0);
    for (int32_t i = 0; i < count; ++i) {
        list.emplace_back(paths[i]);
    }
    return BuildArchive(list, outputPath != nullptr ? outputPath : "", callback, report);
}

}  // namespace zok
