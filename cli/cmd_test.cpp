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

int RunTest(const std::string& path, uint64_t maxPixels) {
    std::unique_ptr<CZokFile> zok = OpenArchive(path, maxPixels);
    if (!zok) {
        return kExitFailure;
    }
    const size_t count = zok->Count();
    uint64_t total = 0;
    for (size_t i = 0; i < count; ++i) {
        total += zok->GetEntrySizeAt(i);
    }
    ProgressBar bar("testing", total);
    CheckOptions options;
    options.threads = 0;
    options.progress = [&bar](uint64_t done) { bar.Update(done); };
    options.onEntry = [&](size_t i, const Error& problem) {
        if (problem) {
            bar.Clear();
            const char* what = problem.code == ErrorCode::HoldsNoData ? ": " : ": damaged: ";
            ReportError(EntryLabel(*zok, i) + what + ErrorReason(problem));
        }
    };
    const CheckResult result = CheckArchive(*zok, options);
    const size_t bad = result.damaged + result.holdingNoData;
    bar.Finish("tested " + std::to_string(count) + " entries, " + HumanBytes(total));
    Say(path + ": " + std::to_string(count) + " entries, " + std::to_string(bad) + " damaged");
    return bad == 0 ? kExitOk : kExitFailure;
}

}  // namespace

void RegisterTestCommand(CLI::App& app, CommandAction& action) {
    auto* cmd = app.add_subcommand("test", "Read and decode every entry; report the damaged ones");
    auto archive = std::make_shared<std::string>();
    auto maxPixels = std::make_shared<uint64_t>(0);
    AddPictureLimitOption(*cmd, *maxPixels);
    cmd->add_option("ARCHIVE", *archive, "The archive to check")->required();
    cmd->footer(
        "Every entry is read to its end and must give exactly its size; pictures are decoded\n"
        "row by row (memory stays that of a row).\n"
        "Entries left empty because they could not be encoded are named too.\n"
        "Exit status: 0 every entry is sound; 1 the archive or some entry is damaged or empty\n"
        "(each named on stderr); 2 usage error.\n");
    cmd->callback([&action, archive, maxPixels] {
        action = [archive, maxPixels] { return RunTest(*archive, *maxPixels); };
    });
}
