#include "job/archive_tasks.h"

#include "job/extraction.h"
#include "job/formatting.h"
#include "job/korean_words.h"
#include "zok/check.h"
#include "zok/zok_file.h"

namespace zok {

uint64_t ContentBytes(const CZokFile& zok) {
    uint64_t total = 0;
    for (size_t i = 0; i < zok.Count(); ++i) {
        total += zok.GetEntrySizeAt(i);
    }
    return total;
}

ExtractionOutcome RunExtraction(Extraction& extraction, const std::atomic<bool>* cancel,
                                const std::function<void(uint64_t)>& progress) {
    ExtractionOutcome outcome;
    ExtractOptions options;
    options.threads = 0;
    options.cancel = cancel;
    options.progress = progress;
    options.onItem = [&outcome](const ExtractItem& item, const ItemResult& result) {
        if (result.status == ItemStatus::Written || result.status == ItemStatus::Replaced) {
            outcome.written.push_back(item.writesTo);
        } else if (result.status == ItemStatus::Failed) {
            outcome.failures.push_back(ExtractionFailureLine(item, result.error));
            if (IsEntryDamage(result.error.code)) {
                outcome.damaged.emplace_back(item.index, result.error);
            }
        }
    };
    outcome.result = extraction.Run(options);
    if (outcome.result.cancelled) {
        outcome.written.clear();
    }
    return outcome;
}

CheckOutcome RunCheck(const CZokFile& zok, const std::atomic<bool>* cancel,
                      const std::function<void(uint64_t)>& progress) {
    CheckOutcome outcome;
    CheckOptions options;
    options.threads = 0;
    options.cancel = cancel;
    options.progress = progress;
    options.onEntry = [&outcome](size_t index, const Error& problem) {
        if (problem) {
            outcome.problems.emplace_back(index, problem);
        }
    };
    outcome.cancelled = CheckArchive(zok, options).cancelled;
    return outcome;
}

UpgradeOutcome RunUpgrade(const std::string& path, const std::string& target,
                          const std::atomic<bool>* cancel,
                          const std::function<void(uint64_t)>& progress) {
    UpgradeOutcome outcome;
    UpgradeOptions options;
    options.outputPath = target;
    options.replaceExisting = true;
    options.cancel = cancel;
    if (progress) {
        options.progress = [&progress](const UpgradeProgress& p) { progress(p.bytesRead); };
    }
    try {
        outcome.result = UpgradeArchive(path, false, options, &outcome.report);
    } catch (const ZokError& e) {
        outcome.thrown = e.Problem();
    }
    return outcome;
}

std::string KoreanProblem(const Error& problem) {
    return (problem.path.empty() ? "" : PrintableText(problem.path) + ": ") +
           (problem.entry.empty() ? "" : "\"" + PrintableText(problem.entry) + "\" 항목: ") +
           KoreanReason(problem);
}

std::string UpgradeFailure(const UpgradeOutcome& outcome) {
    return KoreanProblem(outcome.thrown ? outcome.thrown : outcome.report.problem);
}

ChangeOutcome RunChange(const std::string& path, UpdateOptions options,
                        const std::atomic<bool>* cancel,
                        const std::function<void(uint64_t)>& progress) {
    ChangeOutcome outcome;
    options.cancel = cancel;
    if (progress) {
        options.progress = [&progress](const UpdateProgress& p) { progress(p.bytesDone); };
    }
    try {
        outcome.written = UpdateArchive(path, options, &outcome.report);
    } catch (const ZokError& e) {
        outcome.thrown = e.Problem();
    }
    return outcome;
}

std::vector<std::string> ChangeFailures(const ChangeOutcome& outcome) {
    std::vector<std::string> lines;
    const auto line = [&lines](const Error& problem) { lines.push_back(KoreanProblem(problem)); };
    if (outcome.thrown) {
        line(outcome.thrown);
    }
    for (const Error& problem : outcome.report.problems) {
        line(problem);
    }
    return lines;
}

}  // namespace zok
