#include <sys/stat.h>

#include <CLI/CLI.hpp>
#include <memory>

#include "cli/commands.h"
#include "cli/create_inputs.h"
#include "cli/error_words.h"
#include "cli/output.h"
#include "cli/progress_bar.h"
#include "zok/build_archive.h"
#include "zok/zok_error.h"

using namespace zok;

namespace {

uint64_t TotalSize(const std::vector<std::string>& files) {
    uint64_t total = 0;
    for (const std::string& path : files) {
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
            total += uint64_t(st.st_size);
        }
    }
    return total;
}

int RunCreate(const std::string& archive, const std::vector<std::string>& named, unsigned threads) {
    const CreateInputs inputs = GatherCreateInputs(named, archive);
    for (const std::string& warning : inputs.warnings) {
        Warn(warning);
    }
    // Every problem is named before anything is written, so that all can be mended at once.
    // The build checks its inputs itself and names each problem; they are asked for apart only
    // to go with the folders that could not be walked.
    if (!inputs.problems.empty()) {
        std::vector<std::string> problems = inputs.problems;
        for (const Error& problem : CheckBuildInputs(inputs.files, archive)) {
            problems.push_back(DescribeError(problem));
        }
        problems.back() += " (nothing was written)";
        for (const std::string& problem : problems) {
            ReportError(problem);
        }
        return kExitFailure;
    }

    // The inputs are measured for the bar only when it is shown.
    ProgressBar bar("packing", ProgressBar::Enabled() ? TotalSize(inputs.files) : 0);
    BuildOptions options;
    options.threads = threads;
    const size_t count = inputs.files.size();
    uint64_t packed = 0;
    options.progress = [&bar, &packed, count](const BuildProgress& p) {
        packed = p.bytesDone;
        bar.Update(p.bytesRead, std::to_string(p.filesDone) + " / " + std::to_string(count));
    };
    BuildReport report;
    bool ok = false;
    try {
        ok = BuildArchive(inputs.files, archive, nullptr, &report, options);
    } catch (const ZokError& e) {
        bar.Finish();
        // A codec's exception names the input it met, not the archive.
        Error problem = e.Problem();
        problem.path = report.currentInput.empty() ? archive : report.currentInput;
        ReportError(DescribeError(problem) + " (nothing was written)");
        return kExitFailure;
    }
    if (!ok) {
        bar.Finish();
        for (size_t i = 0; i < report.problems.size(); ++i) {
            const bool last = i + 1 == report.problems.size();
            ReportError(DescribeError(report.problems[i]) + (last ? " (nothing was written)" : ""));
        }
        return kExitFailure;
    }
    struct stat st {};
    const uint64_t written = ::stat(archive.c_str(), &st) == 0 ? uint64_t(st.st_size) : 0;
    bar.Finish("packed " + std::to_string(count) + " files, " + HumanBytes(packed) + " into " +
               HumanBytes(written));
    for (const std::string& path : report.unencoded) {
        ReportError(path + ": could not be encoded; stored as an empty entry");
    }
    return report.unencoded.empty() ? kExitOk : kExitPartial;
}

}  // namespace

void RegisterCreateCommand(CLI::App& app, CommandAction& action) {
    auto* cmd = app.add_subcommand("create", "Build ARCHIVE from the FILEs, in that order");
    auto archive = std::make_shared<std::string>();
    auto files = std::make_shared<std::vector<std::string>>();
    auto threads = std::make_shared<unsigned>(0);
    cmd->add_option("ARCHIVE", *archive,
                    "The archive to write; an existing file is replaced only when the new one "
                    "is complete, keeping its permissions (a symbolic link is followed)")
        ->required();
    cmd->add_option("FILE", *files,
                    "Input files or folders (walked: their files in sorted order). BMP and PNG "
                    "pictures become PNG entries, names ending in \"old\" are stored unchanged, "
                    "everything else is deflated")
        ->required();
    cmd->add_option("-j,--jobs", *threads,
                    "Encode N files at a time (default: one per core); the archive is the "
                    "same for every N")
        ->type_name("N")
        ->check(CLI::Range(1u, 1024u));
    cmd->footer(
        "Every input is checked first and every problem named; an input that is the archive\n"
        "itself is skipped when it is a ZOK archive (the `*` habit) and refused otherwise.\n"
        "Inputs whose name an earlier input has are named: only the first can be found by name.\n"
        "Exit status: 0 written; 1 failed, nothing written; 2 usage error;\n"
        "3 written, but some entries could not be encoded (named on stderr).");
    cmd->callback([&action, archive, files, threads] {
        action = [archive, files, threads] { return RunCreate(*archive, *files, *threads); };
    });
}
