#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>
#include <string>

#include "archive/atomic_file.h"
#include "cli/commands.h"
#include "cli/progress_bar.h"
#include "cli/read_support.h"
#include "zok/upgrade_archive.h"
#include "zok/zok_file.h"

namespace {

// The upgrade's callback carries no context: the bar lives here for one run.
std::unique_ptr<ProgressBar> g_upgradeBar;

void OnUpgradeProgress(int32_t entriesDone, uint32_t, uint32_t, uint32_t) {
    if (g_upgradeBar) {
        g_upgradeBar->Update(uint64_t(entriesDone), "");
    }
}

int RunUpgrade(const std::string& path, bool inPlace) {
    uint32_t count = 0;
    {
        std::unique_ptr<CZokFile> zok = OpenArchive(path);
        if (!zok) {
            return kExitFailure;
        }
        count = zok->Count();
    }
    g_upgradeBar = std::make_unique<ProgressBar>("upgrading", count);
    UpgradeReport report;
    int32_t result = 0;
    try {
        result = UpgradeArchive(path, inPlace, OnUpgradeProgress, &report);
    } catch (const ZokOpenError& e) {
        g_upgradeBar.reset();
        ReportError(Printable(path) + ": " + SystemReason(e.ErrorNumber()));
        return kExitFailure;
    } catch (const std::exception& e) {
        g_upgradeBar.reset();
        const std::string where =
            report.currentEntry.empty()
                ? Printable(path)
                : Printable(path) + ": entry \"" + Printable(report.currentEntry) + "\"";
        ReportError(where + ": " + e.what());
        return kExitFailure;
    }
    g_upgradeBar.reset();
    switch (result) {
        case kUpgradeDone:
            std::printf("%s: written as version 1.1.0\n", Printable(report.outputPath).c_str());
            for (const std::string& name : report.unencoded) {
                ReportError(Printable(path) + ": entry \"" + Printable(name) +
                            "\" could not be encoded; stored as an empty entry");
            }
            for (const std::string& name : report.carriedEmpty) {
                ReportError(Printable(path) + ": entry \"" + Printable(name) + "\" " +
                            kHoldsNoDataMessage + "; carried over as an empty entry");
            }
            if (!report.keptBackup.empty()) {
                ReportError("the old archive is kept as " + Printable(report.keptBackup));
            }
            return report.unencoded.empty() ? kExitOk : kExitPartial;
        case kUpgradeNotNeeded:
            std::printf("%s: already a current archive; nothing to do\n", Printable(path).c_str());
            return kExitOk;
        default:
            ReportError(Printable(report.error) + " (the archive is unchanged)");
            return kExitFailure;
    }
}

}  // namespace

void RegisterUpgradeCommand(CLI::App& app, CommandAction& action) {
    auto* cmd = app.add_subcommand("upgrade", "Rewrite a version 1.0.0 archive as version 1.1.0");
    auto archive = std::make_shared<std::string>();
    auto inPlace = std::make_shared<bool>(false);
    cmd->add_flag("--in-place", *inPlace,
                  "Replace ARCHIVE itself (default: write NAME110.zok beside it, e.g. "
                  "pics.zok -> pics110.zok)");
    cmd->add_option("ARCHIVE", *archive, "The archive to upgrade")->required();
    cmd->footer(
        "Exit status: 0 upgraded, or already current; 1 failed, the archive is unchanged;\n"
        "2 usage error; 3 upgraded, but some entries could not be encoded (named on stderr).\n");
    cmd->callback([&action, archive, inPlace] {
        action = [archive, inPlace] { return RunUpgrade(*archive, *inPlace); };
    });
}
