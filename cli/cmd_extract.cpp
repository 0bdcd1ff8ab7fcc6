#include <CLI/CLI.hpp>

#include <memory>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/error_words.h"
#include "cli/progress_bar.h"
#include "cli/read_support.h"
#include "zok/extract.h"

using namespace zok;

namespace {

struct ExtractRequest {
    std::string archive;
    std::string folder = ".";
    bool overwrite = false;
    bool skipExisting = false;
    uint64_t maxPixels = 0;
    std::vector<std::string> names;
    Verbosity verbosity = Verbosity::Normal;
};

std::string Summary(const ExtractResult& result, size_t planned, uint64_t bytes) {
    std::string text = "extracted " + std::to_string(result.written) + " of " +
                       Counted(planned, "entry", "entries");
    if (result.skipped > 0) {
        text += " (" + std::to_string(result.skipped) + " skipped: the file exists)";
    }
    return text + ", " + HumanBytes(bytes);
}

int RunExtract(const ExtractRequest& request) {
    std::unique_ptr<CZokFile> zok = OpenArchive(request.archive, request.maxPixels);
    if (!zok) {
        return kExitFailure;
    }
    bool ok = true;
    std::vector<size_t> chosen;
    if (request.names.empty()) {
        for (size_t i = 0; i < zok->Count(); ++i) {
            chosen.push_back(i);
        }
    } else {
        chosen = FindEntries(*zok, request.names, &ok);
    }
    Extraction extraction(*zok);
    if (const Error error = extraction.Plan(request.folder, chosen)) {
        ReportError(DescribeError(error));
        return kExitFailure;
    }
    extraction.Decide(request.overwrite      ? ExistingFiles::Replace
                      : request.skipExisting ? ExistingFiles::Skip
                                             : ExistingFiles::Keep);
    const uint64_t total = extraction.BytesToRead();
    ProgressBar bar("extracting", total, request.verbosity != Verbosity::Quiet);
    ExtractOptions options;
    options.threads = 0;
    options.progress = [&bar](uint64_t done) { bar.Update(done); };
    options.onItem = [&](const ExtractItem& item, const ItemResult& result) {
        if (result.status == ItemStatus::Failed) {
            bar.Clear();
            ReportError(EntryMessage(*zok, item.name, result.error, true));
            ok = false;
        } else if (request.verbosity == Verbosity::Verbose &&
                   (result.status == ItemStatus::Written ||
                    result.status == ItemStatus::Replaced)) {
            bar.Clear();
            Say(item.name);
        }
    };
    const ExtractResult result = extraction.Run(options);
    bar.Finish(Summary(result, extraction.Items().size(), total));
    return ok ? kExitOk : kExitFailure;
}

}  // namespace

void RegisterExtractCommand(CLI::App& app, CommandAction& action) {
    auto* cmd = app.add_subcommand("extract", "Write entries (all when no NAME is given) into DIR");
    auto request = std::make_shared<ExtractRequest>();
    cmd->add_option("-C,--directory", request->folder, "Folder to write into (made when missing)")
        ->type_name("DIR")
        ->capture_default_str();
    auto* overwrite = cmd->add_flag(
        "--overwrite", request->overwrite,
        "Replace files that already exist (each keeps its permissions; a symbolic link is "
        "followed only to a file inside DIR)");
    cmd->add_flag("-n,--skip-existing", request->skipExisting,
                  "Keep files that already exist and skip their entries quietly, as unzip -n does")
        ->excludes(overwrite);
    AddVerbosityOptions(*cmd, request->verbosity,
                        "Name each file as it is written (on the standard output)");
    AddPictureLimitOption(*cmd, request->maxPixels);
    cmd->add_option("ARCHIVE", request->archive, kReadArchiveHelp)->required();
    cmd->add_option("NAME", request->names, kNamesHelp);
    cmd->footer(
        "Nothing outside DIR is ever created or changed: names that would leave it (\"..\",\n"
        "\"/\", empty names) are refused, a symbolic link in DIR is followed only to a file\n"
        "inside DIR, and one that leads out is refused by name.\n"
        "A picture entry named *.bmp is written as a 24-bit BMP file.\n"
        "A file appears only when its entry was read completely and exactly; a damaged\n"
        "entry leaves nothing behind.\n"
        "Exit status: 0 all written (or skipped with -n); 1 some entry not written, or a NAME\n"
        "matches no entry (each named on stderr); 2 usage error.\n");
    cmd->callback([&action, request] { action = [request] { return RunExtract(*request); }; });
}
