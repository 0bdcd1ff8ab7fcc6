#include <CLI/CLI.hpp>
#include <memory>
#include <string>

#include "cli/commands.h"
#include "cli/error_words.h"
#include "cli/progress_bar.h"
#include "cli/read_support.h"
#include "zok/upgrade_archive.h"

using namespace zok;

namespace {

int RunUpgrade(const std::string& path, bool inPlace, const std::string& output, bool overwrite,
               Verbosity verbosity) {
    const bool quiet = verbosity == Verbosity::Quiet;
    uint64_t total = 0;
    {
        std::unique_ptr<CZokFile> zok = OpenArchive(path);
        if (!zok) {
            return kExitFailure;
        }
        for (size_t i = 0; i < zok->Count(); ++i) {
            total += zok->GetEntrySizeAt(i);
        }
    }
    ProgressBar bar("upgrading", total, !quiet);
    UpgradeOptions options;
    options.outputPath = output;
    options.replaceExisting = overwrite;
    options.interruptNote = "zok: interrupted; the old archive is kept as ";
    options.progress = [&bar](const UpgradeProgress& p) {
        bar.Update(p.bytesRead,
                   std::to_string(p.entriesDone) + " / " + std::to_string(p.entryCount));
    };
    UpgradeReport report;
    UpgradeResult result = UpgradeResult::Done;
    try {
        result = UpgradeArchive(path, inPlace, options, &report);
    } catch (const ZokOpenError& e) {
        bar.Finish();
        ReportError(DescribeError(MakeError(ErrorCode::CannotOpen, path, "", e.ErrorNumber())));
        return kExitFailure;
    } catch (const std::exception& e) {
        bar.Finish();
        const std::string where =
            report.currentEntry.empty() ? path : path + ": entry \"" + report.currentEntry + "\"";
        ReportError(where + ": " + e.what() + " (the archive is unchanged)");
        return kExitFailure;
    }
    switch (result) {
        case UpgradeResult::Done:
            bar.Finish("upgraded " + HumanBytes(total));
            if (!quiet) {
                Say(report.outputPath + ": written as version 1.1.0");
            }
            for (const std::string& name : report.carriedEmpty) {
                ReportError(DescribeError(MakeError(ErrorCode::HoldsNoData, path, name)) +
                            "; carried over as an empty entry");
            }
            for (const std::string& name : report.unencoded) {
                ReportError(path + ": entry \"" + name +
                            "\" could not be encoded again; it is an empty entry in the new "
                            "archive");
            }
            if (!report.keptBackup.empty()) {
                ReportError("the old archive is kept as " + report.keptBackup +
                            ": it still holds what the new one lacks");
            }
            return report.unencoded.empty() ? kExitOk : kExitPartial;
        case UpgradeResult::NotNeeded:
            bar.Finish();
            if (!quiet) {
                Say(path + ": already a current archive; nothing to do");
            }
            return kExitOk;
        default:
            bar.Finish();
            ReportError(DescribeError(report.problem) + " (the archive is unchanged)");
            return kExitFailure;
    }
}

}  // namespace

void RegisterUpgradeCommand(CLI::App& app, CommandAction& action) {
    auto* cmd = app.add_subcommand("upgrade", "Rewrite a version 1.0.0 archive as version 1.1.0");
    auto archive = std::make_shared<std::string>();
    auto inPlace = std::make_shared<bool>(false);
    auto output = std::make_shared<std::string>();
    auto overwrite = std::make_shared<bool>(false);
    auto verbosity = std::make_shared<Verbosity>(Verbosity::Normal);
    auto* place = cmd->add_flag("--in-place", *inPlace,
                                "Replace ARCHIVE itself, keeping its permissions (a symbolic "
                                "link is followed)");
    cmd->add_option("-o,--output", *output,
                    "Write the new archive here (default: NAME110.zok beside ARCHIVE, e.g. "
                    "pics.zok -> pics110.zok; a name without .zok gets 110.zok appended)")
        ->type_name("OUT")
        ->excludes(place);
    cmd->add_flag("--overwrite", *overwrite, "Replace the output when it exists already");
    cmd->add_flag_callback(
        "-q,--quiet", [verbosity] { *verbosity = Verbosity::Quiet; },
        "Say nothing but errors: no progress bar, no line naming the new archive");
    cmd->add_option("ARCHIVE", *archive, "The archive to upgrade")->required();
    cmd->footer(
        "Only a file that reads as a ZOK archive is upgraded; anything else stays as it is.\n"
        "In place, when some entries cannot be encoded again, the old archive is kept as\n"
        "~NAME beside the new one: it holds what the new one lacks.\n"
        "Exit status: 0 upgraded, or already current; 1 failed, the archive is unchanged;\n"
        "2 usage error; 3 upgraded, but some entries could not be encoded (named on stderr).\n");
    cmd->callback([&action, archive, inPlace, output, overwrite, verbosity] {
        action = [archive, inPlace, output, overwrite, verbosity] {
            return RunUpgrade(*archive, *inPlace, *output, *overwrite, *verbosity);
        };
    });
}
