#include <CLI/CLI.hpp>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/parallel_each.h"
#include "cli/progress_bar.h"
#include "cli/read_support.h"
#include "io/names.h"

using namespace zok;

namespace {

// Why an entry name cannot become a file name inside the target folder, or "" when it can.
std::string RefusedName(const std::string& name) {
    switch (RefuseAsFileName(name)) {
        case NameRefusal::None:
            break;
        case NameRefusal::Empty:
            return "its name is empty";
        case NameRefusal::FolderReference:
            return "its name is a folder reference";
        case NameRefusal::Separator:
            return "its name contains a folder separator";
        case NameRefusal::NulByte:
            return "its name contains a NUL byte";
    }
    return "";
}

// Writes one entry into folder; returns why it was not written, or "" when it was.
// A picture entry named *.bmp is written as a BMP file, so that every file is what its name
// says; every other entry is streamed as ExtractEntry gives it. A file appears only when its
// entry was read completely and exactly.
std::string ExtractOne(const CZokFile& zok, size_t index, const std::string& folder, bool overwrite,
                       ProgressBar& bar) {
    const EntryRecord record = zok.Record(index);
    const std::string refused = RefusedName(record.name);
    if (!refused.empty()) {
        return "refused: " + refused;
    }
    const std::string target = folder + "/" + record.name;
    std::string error = RefusedOutput(target, zok.Path(), folder);
    if (!error.empty()) {
        return error;
    }
    if (record.kind == EntryKind::PngStream && EqualsNoCase(KindName(zok.RawName(index)), "bmp")) {
        std::string bmp;
        if (!DecodePicture(zok, index, &bmp, nullptr, &error)) {
            return error;
        }
        if (!WriteOutputFile(target, bmp, overwrite, &error)) {
            return error;
        }
        bar.Advance(zok.GetEntrySizeAt(index), record.name);
        return "";
    }
    if (!WriteEntryFile(zok, index, target, overwrite, &error,
                        [&bar, &record](size_t piece) { bar.Advance(piece, record.name); })) {
        return error;
    }
    return "";
}

int RunExtract(const std::string& path, const std::string& folder, bool overwrite,
               const std::vector<std::string>& names) {
    std::unique_ptr<CZokFile> zok = OpenArchive(path);
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
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec || !std::filesystem::is_directory(folder)) {
        ReportError(folder + ": cannot use it as the target folder" +
                    (ec ? ": " + ec.message() : std::string()));
        return kExitFailure;
    }

    uint64_t total = 0;
    for (size_t index : chosen) {
        total += zok->GetEntrySizeAt(index);
    }
    ProgressBar bar("extracting", total);
    size_t written = 0;
    // Entries are written on all cores. An entry whose name an earlier one has already runs
    // alone after it, so that the outcome is the one of writing them in order.
    ParallelInOrder(
        chosen.size(),
        [&](size_t k) { return ExtractOne(*zok, chosen[k], folder, overwrite, bar); },
        [&](size_t k, const std::string& message) {
            if (!message.empty()) {
                bar.Clear();
                ReportError(EntryLabel(*zok, chosen[k]) + ": " + message);
                ok = false;
            } else {
                ++written;
            }
        },
        [&](size_t k) { return zok->Find(zok->Record(chosen[k]).name) != chosen[k]; });
    bar.Finish("extracted " + std::to_string(written) + " of " + std::to_string(chosen.size()) +
               " entries, " + HumanBytes(total));
    return ok ? kExitOk : kExitFailure;
}

}  // namespace

void RegisterExtractCommand(CLI::App& app, CommandAction& action) {
    auto* cmd = app.add_subcommand("extract", "Write entries (all when no NAME is given) into DIR");
    auto archive = std::make_shared<std::string>();
    auto folder = std::make_shared<std::string>(".");
    auto overwrite = std::make_shared<bool>(false);
    auto names = std::make_shared<std::vector<std::string>>();
    cmd->add_option("-C,--directory", *folder, "Folder to write into (made when missing)")
        ->capture_default_str();
    cmd->add_flag("--overwrite", *overwrite,
                  "Replace files that already exist (each keeps its permissions; a symbolic link "
                  "is followed only to a file inside DIR)");
    cmd->add_option("ARCHIVE", *archive, "The archive to read")->required();
    cmd->add_option("NAME", *names, "Entries to write, found without regard to case");
    cmd->footer(
        "Names that would leave DIR (\"..\", \"/\", empty names) are refused and reported.\n"
        "A picture entry named *.bmp is written as a 24-bit BMP file.\n"
        "A file appears only when its entry was read completely and exactly; a damaged\n"
        "entry leaves nothing behind.\n"
        "Exit status: 0 all written; 1 some entry not written (each named on stderr);\n"
        "2 usage error.\n");
    cmd->callback([&action, archive, folder, overwrite, names] {
        action = [archive, folder, overwrite, names] {
            return RunExtract(*archive, *folder, *overwrite, *names);
        };
    });
}
