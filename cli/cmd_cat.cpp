#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/error_words.h"
#include "cli/read_support.h"

using namespace zok;

namespace {

// Streams one entry to the standard output; false when it could not be read or written.
bool WriteEntry(const CZokFile& zok, size_t index) {
    // Streamed: an entry of any size passes through one piece of memory.
    bool written = true;
    const Error error =
        DrainEntry(*zok.OpenEntry(index), [&written](const uint8_t* bytes, size_t size) {
            written = std::fwrite(bytes, 1, size, stdout) == size;
            return written;
        });
    if (error && written) {
        ReportError(EntryLabel(zok, index) + ": " + ErrorReason(error));
        return false;
    }
    if (!written || std::fflush(stdout) != 0) {
        ReportError(EntryLabel(zok, index) + ": cannot write to the standard output");
        return false;
    }
    return true;
}

int RunCat(const std::string& path, const std::vector<std::string>& names) {
    const std::unique_ptr<CZokFile> zok = OpenArchive(path);
    if (!zok) {
        return kExitFailure;
    }
    bool ok = true;
    for (const size_t index : FindEntries(*zok, names, &ok)) {
        if (!WriteEntry(*zok, index)) {
            return kExitFailure;
        }
    }
    return ok ? kExitOk : kExitFailure;
}

}  // namespace

void RegisterCatCommand(CLI::App& app, CommandAction& action) {
    auto* cmd = app.add_subcommand(
        "cat", "Write the content of entries to the standard output, one after another");
    auto archive = std::make_shared<std::string>();
    auto names = std::make_shared<std::vector<std::string>>();
    cmd->add_option("ARCHIVE", *archive, kReadArchiveHelp)->required();
    cmd->add_option("NAME", *names,
                    std::string(kNamesHelp) +
                        ". A picture entry gives its PNG stream; the entries of a pattern come "
                        "in directory order")
        ->required();
    cmd->footer(
        "Each entry is streamed; when damage is found part-way, what was written before it\n"
        "stays on the standard output and the status is 1.\n"
        "Exit status: 0 written; 1 a NAME matches no entry or an entry cannot be read;\n"
        "2 usage error.\n");
    cmd->callback([&action, archive, names] {
        action = [archive, names] { return RunCat(*archive, *names); };
    });
}
