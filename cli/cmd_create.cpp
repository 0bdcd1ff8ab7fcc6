#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>

#include "archive/names.h"
#include "cli/commands.h"
#include "cli/progress_bar.h"
#include "zok/build_archive.h"
#include "zok/zok_error.h"

namespace {

// The builder's callback carries no context: the bar and the names live here for one run.
struct CreateProgress {
    std::unique_ptr<ProgressBar> bar;
    const std::vector<std::string>* files = nullptr;
};
CreateProgress g_progress;

void OnProgress(int32_t filesDone, uint32_t, uint32_t) {
    const auto& files = *g_progress.files;
    const size_t next = size_t(filesDone) < files.size() ? size_t(filesDone) : files.size() - 1;
    g_progress.bar->Update(uint64_t(filesDone), std::string(BaseName(files[next])));
}

int RunCreate(const std::string& archive, const std::vector<std::string>& files, unsigned threads) {
    g_progress.files = &files;
    g_progress.bar = std::make_unique<ProgressBar>("packing", files.size());
    BuildReport report;
    bool ok = false;
    try {
        BuildOptions options;
        options.threads = threads;
        ok = BuildArchive(files, archive, ProgressBar::Enabled() ? OnProgress : nullptr, &report,
                          options);
    } catch (const std::exception& e) {
        g_progress.bar.reset();
        std::fprintf(stderr, "zok: %s: %s (nothing was written)\n", archive.c_str(), e.what());
        return kExitFailure;
    }
    g_progress.bar.reset();
    if (!ok) {
        std::fprintf(stderr, "zok: %s (nothing was written)\n", report.error.c_str());
        return kExitFailure;
    }
    for (const std::string& path : report.unencoded) {
        std::fprintf(stderr, "zok: %s: could not be encoded; stored as an empty entry\n",
                     path.c_str());
    }
    return report.unencoded.empty() ? kExitOk : kExitPartial;
}

}  // namespace

void RegisterCreateCommand(CLI::App& app, CommandAction& action) {
    auto* cmd = app.add_subcommand("create", "Build ARCHIVE from the FILEs, in that order");
    auto archive = std::make_shared<std::string>();
    auto files = std::make_shared<std::vector<std::string>>();
    auto threads = std::make_shared<unsigned>(0);
    cmd->add_option("ARCHIVE", *archive, "The archive to write (replaced only when complete)")
        ->required();
    cmd->add_option("FILE", *files,
                    "Input files. BMP and PNG pictures become PNG entries, names ending in "
                    "\"old\" are stored unchanged, everything else is deflated")
        ->required();
    cmd->add_option("-j,--jobs", *threads,
                    "Encode N files at a time (default: one per core); the archive is the "
                    "same for every N")
        ->type_name("N")
        ->check(CLI::Range(1u, 1024u));
    cmd->footer(
        "Exit status: 0 written; 1 failed, nothing written; 2 usage error;\n"
        "3 written, but some entries could not be encoded (named on stderr).");
    cmd->callback([&action, archive, files, threads] {
        action = [archive, files, threads] { return RunCreate(*archive, *files, *threads); };
    });
}
