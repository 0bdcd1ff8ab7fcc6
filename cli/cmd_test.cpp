#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>
#include <string>

#include "cli/commands.h"
#include "cli/error_words.h"
#include "cli/progress_bar.h"
#include "cli/read_support.h"
#include "zok/check.h"

using namespace zok;

namespace {

int RunTest(const std::string& path, uint64_t maxPixels, Verbosity verbosity) {
    std::unique_ptr<CZokFile> zok = OpenArchive(path, maxPixels);
    if (!zok) {
        return kExitFailure;
    }
    const size_t count = zok->Count();
    uint64_t total = 0;
    for (size_t i = 0; i < count; ++i) {
        total += zok->GetEntrySizeAt(i);
    }
    ProgressBar bar("testing", total, verbosity != Verbosity::Quiet);
    CheckOptions options;
    options.threads = 0;
    options.progress = [&bar](uint64_t done) { bar.Update(done); };
    options.onEntry = [&](size_t i, const Error& problem) {
        if (problem) {
            bar.Clear();
            const char* what = problem.code == ErrorCode::HoldsNoData ? ": " : ": damaged: ";
            ReportError(EntryLabel(*zok, i) + what + ErrorReason(problem));
        } else if (verbosity == Verbosity::Verbose) {
            bar.Clear();
            Say(zok->Record(i).name + ": OK");
        }
    };
    const CheckResult result = CheckArchive(*zok, options);
    const size_t bad = result.damaged + result.holdingNoData;
    bar.Finish("tested " + Counted(count, "entry", "entries") + ", " + HumanBytes(total));
    if (verbosity != Verbosity::Quiet) {
        Say(zok->Path() + ": " + Counted(count, "entry", "entries") + ", " + std::to_string(bad) +
            " damaged");
    }
    return bad == 0 ? kExitOk : kExitFailure;
}

}  // namespace

void RegisterTestCommand(CLI::App& app, CommandAction& action) {
    auto* cmd = app.add_subcommand("test", "Read and decode every entry; report the damaged ones");
    auto archive = std::make_shared<std::string>();
    auto maxPixels = std::make_shared<uint64_t>(0);
    auto verbosity = std::make_shared<Verbosity>(Verbosity::Normal);
    AddVerbosityOptions(*cmd, *verbosity, "Name each sound entry as it is checked (\"NAME: OK\")");
    AddPictureLimitOption(*cmd, *maxPixels);
    cmd->add_option("ARCHIVE", *archive, kReadArchiveHelp)->required();
    cmd->footer(
        "Every entry is read to its end and must give exactly its size; pictures are decoded\n"
        "row by row (memory stays that of a row).\n"
        "Entries left empty because they could not be encoded are named too. A summary line\n"
        "follows on the standard output, unless -q is given.\n"
        "Exit status: 0 every entry is sound; 1 the archive or some entry is damaged or empty\n"
        "(each named on stderr); 2 usage error.\n");
    cmd->callback([&action, archive, maxPixels, verbosity] {
        action = [archive, maxPixels, verbosity] {
            return RunTest(*archive, *maxPixels, *verbosity);
        };
    });
}
