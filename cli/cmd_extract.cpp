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

int RunExtract(const std::string& path, const std::string& folder, bool overwrite,
               uint64_t maxPixels, const std::vector<std::string>& names) {
    std::unique_ptr<CZokFile> zok = OpenArchive(path, maxPixels);
    if (!zok) {
        return kExitFailure;
    }
    std::vector<size_t> chosen;
    bool ok = true;
    if (names.empty()) {
        for (size_t i = 0; i < zok->Count(); ++i) {
            chosen.push_back(i);
        }
    }
    for (const std::string& name : names) {
        if (std::optional<size_t> index = FindEntry(*zok, name)) {
            chosen.push_back(*index);
        } else {
            ok = false;
        }
    }
    Extraction extraction(*zok);
    if (const Error error = extraction.Plan(folder, chosen)) {
        ReportError(DescribeError(error));
        return kExitFailure;
    }
    extraction.Decide(overwrite ? ExistingFiles::Replace : ExistingFiles::Keep);
    const uint64_t total = extraction.BytesToRead();
    ProgressBar bar("extracting", total);
    ExtractOptions options;
    options.threads = 0;
    options.progress = [&bar](uint64_t done) { bar.Update(done); };
    options.onItem = [&](const ExtractItem& item, const ItemResult& result) {
        if (result.status == ItemStatus::Failed) {
            bar.Clear();
            ReportError(EntryMessage(*zok, item.name, result.error));
            ok = false;
        }
    };
    const ExtractResult result = extraction.Run(options);
    bar.Finish("extracted " + std::to_string(result.written) + " of " +
               std::to_string(extraction.Items().size()) + " entries, " + HumanBytes(total));
    return ok ? kExitOk : kExitFailure;
}

}  // namespace

void RegisterExtractCommand(CLI::App& app, CommandAction& action) {
    auto* cmd = app.add_subcommand("extract", "Write entries (all when no NAME is given) into DIR");
    auto archive = std::make_shared<std::string>();
    auto folder = std::make_shared<std::string>(".");
    auto overwrite = std::make_shared<bool>(false);
    auto names = std::make_shared<std::vector<std::string>>();
    auto maxPixels = std::make_shared<uint64_t>(0);
    cmd->add_option("-C,--directory", *folder, "Folder to write into (made when missing)")
        ->capture_default_str();
    cmd->add_flag("--overwrite", *overwrite,
                  "Replace files that already exist (each keeps its permissions; a symbolic link "
                  "is followed only to a file inside DIR)");
    AddPictureLimitOption(*cmd, *maxPixels);
    cmd->add_option("ARCHIVE", *archive, "The archive to read")->required();
    cmd->add_option("NAME", *names, "Entries to write, found without regard to case");
    cmd->footer(
        "Nothing outside DIR is ever created or changed: names that would leave it (\"..\",\n"
        "\"/\", empty names) are refused, a symbolic link in DIR is followed only to a file\n"
        "inside DIR, and one that leads out is refused by name.\n"
        "A picture entry named *.bmp is written as a 24-bit BMP file.\n"
        "A file appears only when its entry was read completely and exactly; a damaged\n"
        "entry leaves nothing behind.\n"
        "Exit status: 0 all written; 1 some entry not written (each named on stderr);\n"
        "2 usage error.\n");
    cmd->callback([&action, archive, folder, overwrite, maxPixels, names] {
        action = [archive, folder, overwrite, maxPixels, names] {
            return RunExtract(*archive, *folder, *overwrite, *maxPixels, *names);
        };
    });
}
