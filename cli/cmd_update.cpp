#include <CLI/CLI.hpp>
#include <memory>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/create_inputs.h"
#include "cli/error_words.h"
#include "cli/output.h"
#include "cli/progress_bar.h"
#include "zok/update.h"
#include "zok/zok_error.h"

using namespace zok;

namespace {

const char* ActionWord(UpdateAction action) {
    switch (action) {
        case UpdateAction::Kept:
            return "kept";
        case UpdateAction::Replaced:
            return "replaced";
        case UpdateAction::Added:
            return "added";
        case UpdateAction::Deleted:
            return "deleted";
        case UpdateAction::Unchanged:
            return "unchanged";
    }
    return "kept";
}

// What update and delete share: run the library's update (with the files of inputs, when given),
// then say what became of the entries.
int RunUpdate(const std::string& archive, InputSet* inputs, UpdateOptions options,
              Verbosity verbosity) {
    const bool verbose = verbosity == Verbosity::Verbose;
    ProgressBar bar(options.deletions.empty() ? "updating" : "deleting", 0,
                    verbosity != Verbosity::Quiet);
    options.progress = [&bar](const UpdateProgress& p) { bar.Update(p.bytesDone, p.current); };
    UpdateReport report;
    bool ok = false;
    try {
        ok = inputs != nullptr ? UpdateArchive(archive, *inputs, options, &report)
                               : UpdateArchive(archive, options, &report);
    } catch (const ZokError& e) {
        bar.Finish();
        ReportError(DescribeError(e.Problem()) + " (the archive is unchanged)");
        return kExitFailure;
    }
    bar.Finish();
    if (!ok) {
        bool usage = false;
        for (size_t i = 0; i < report.problems.size(); ++i) {
            const Error& problem = report.problems[i];
            usage = usage || problem.code == ErrorCode::NoMatch;
            const bool last = i + 1 == report.problems.size();
            const char* hint =
                problem.code == ErrorCode::AlreadyExists ? " (use --overwrite to replace it)" : "";
            ReportError(DescribeError(problem) + hint +
                        (last ? " (the archive is unchanged)" : ""));
        }
        return usage ? kExitUsage : kExitFailure;
    }
    for (const Error& warning : report.warnings) {
        Warn(DescribeError(warning) + "; copied as it stands");
    }
    size_t counts[5] = {};
    for (const UpdatedEntry& entry : report.entries) {
        ++counts[size_t(entry.action)];
        if (verbose && entry.action != UpdateAction::Kept) {
            Say(std::string(ActionWord(entry.action)) + "  " + entry.name);
        }
    }
    std::string summary;
    for (const UpdateAction action :
         {UpdateAction::Replaced, UpdateAction::Added, UpdateAction::Deleted,
          UpdateAction::Unchanged, UpdateAction::Kept}) {
        summary += (summary.empty() ? "" : ", ") + std::string(ActionWord(action)) + " " +
                   std::to_string(counts[size_t(action)]);
    }
    if (verbosity != Verbosity::Quiet) {
        Say((options.outputPath.empty() ? archive : options.outputPath) + ": " + summary);
    }
    for (const std::string& path : report.unencoded) {
        ReportError(path + ": could not be encoded; stored as an empty entry");
    }
    return report.unencoded.empty() ? kExitOk : kExitPartial;
}

// -o OUT and --overwrite, as update and delete take them.
void AddOutputOptions(CLI::App& cmd, std::string& output, bool& overwrite) {
    cmd.add_option("-o,--output", output,
                   "Write the new archive to OUT instead of replacing ARCHIVE")
        ->type_name("OUT");
    cmd.add_flag("--overwrite", overwrite, "Replace OUT when it exists already");
}

}  // namespace

void RegisterUpdateCommand(CLI::App& app, CommandAction& action) {
    auto* cmd = app.add_subcommand(
        "update", "Add files to ARCHIVE or put them in place of the entries of their name");
    auto archive = std::make_shared<std::string>();
    auto files = std::make_shared<std::vector<std::string>>();
    auto output = std::make_shared<std::string>();
    auto overwrite = std::make_shared<bool>(false);
    auto onlyChanged = std::make_shared<bool>(false);
    auto allowDuplicates = std::make_shared<bool>(false);
    auto verbosity = std::make_shared<Verbosity>(Verbosity::Normal);
    AddOutputOptions(*cmd, *output, *overwrite);
    cmd->add_flag("--only-changed", *onlyChanged,
                  "Leave an entry as it is stored when its file's content equals it (bytes, or "
                  "a picture's pixels), and report it as unchanged");
    cmd->add_flag("--allow-duplicate-names", *allowDuplicates,
                  "Accept two files that give one entry name (only the first can be found)");
    AddVerbosityOptions(*cmd, *verbosity, "Name each entry that changed, with what was done");
    cmd->add_option("ARCHIVE", *archive, "The version 1.1.0 archive to change")->required();
    cmd->add_option("FILE", *files,
                    "Files or folders (walked: their files in sorted order); a file replaces "
                    "the first entry of its name (letter case ignored), or is added at the end")
        ->required();
    cmd->footer(
        "Entries not named are copied as they are stored, never decoded or encoded again; the\n"
        "result is what `zok create` of the resulting files in that order writes. The new\n"
        "archive replaces the old one only when it is complete.\n"
        "Examples:\n"
        "  zok update assets.zok logo.png         replace logo.png, or add it\n"
        "  zok update --only-changed assets.zok art/   re-pack only what changed\n"
        "Exit status: 0 written; 1 failed, nothing changed; 2 usage error;\n"
        "3 written, but some entries could not be encoded (named on stderr).");
    cmd->callback(
        [&action, archive, files, output, overwrite, onlyChanged, allowDuplicates, verbosity] {
            action = [archive, files, output, overwrite, onlyChanged, allowDuplicates, verbosity] {
                const std::string target = output->empty() ? *archive : *output;
                // Clashes among the files are the update's to refuse (or allow), as create's are.
                CreateInputs inputs = GatherCreateInputs(*files, target);
                for (const std::string& warning : inputs.warnings) {
                    Warn(warning);
                }
                for (const Error& problem : inputs.Problems()) {
                    ReportError(DescribeError(problem));
                }
                if (!inputs.Problems().empty()) {
                    return int(kExitFailure);
                }
                UpdateOptions options;
                options.outputPath = *output;
                options.replaceExisting = *overwrite;
                options.onlyChanged = *onlyChanged;
                options.allowDuplicateNames = *allowDuplicates;
                return RunUpdate(*archive, &inputs.set, options, *verbosity);
            };
        });
}

void RegisterDeleteCommand(CLI::App& app, CommandAction& action) {
    auto* cmd = app.add_subcommand("delete", "Delete entries from ARCHIVE");
    auto archive = std::make_shared<std::string>();
    auto names = std::make_shared<std::vector<std::string>>();
    auto output = std::make_shared<std::string>();
    auto overwrite = std::make_shared<bool>(false);
    auto verbosity = std::make_shared<Verbosity>(Verbosity::Normal);
    AddOutputOptions(*cmd, *output, *overwrite);
    AddVerbosityOptions(*cmd, *verbosity, "Name each entry deleted");
    cmd->add_option("ARCHIVE", *archive, "The version 1.1.0 archive to change")->required();
    cmd->add_option("NAME", *names,
                    "Entries to delete: names (letter case ignored; the first of equal names) "
                    "or shell-style patterns such as '*.png', quoted")
        ->required();
    cmd->footer(
        "The other entries are copied as they are stored. A NAME that matches no entry is an\n"
        "error and nothing is written.\n"
        "Example:\n"
        "  zok delete assets.zok old-logo.png '*.tmp'\n"
        "Exit status: 0 written; 1 failed, nothing changed; 2 usage error or a NAME that\n"
        "matches nothing.");
    cmd->callback([&action, archive, names, output, overwrite, verbosity] {
        action = [archive, names, output, overwrite, verbosity] {
            UpdateOptions options;
            options.deletions = *names;
            options.outputPath = *output;
            options.replaceExisting = *overwrite;
            return RunUpdate(*archive, nullptr, options, *verbosity);
        };
    });
}
