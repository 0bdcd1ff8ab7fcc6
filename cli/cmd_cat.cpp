#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>
#include <string>

#include "cli/commands.h"
#include "cli/error_words.h"
#include "cli/read_support.h"

using namespace zok;

namespace {

int RunCat(const std::string& path, const std::string& name) {
    const ArchiveEntry entry = OpenArchiveEntry(path, name);
    if (!entry) {
        return kExitFailure;
    }
    const CZokFile& zok = *entry.archive;
    const size_t index = entry.index;
    // Streamed: an entry of any size passes through one piece of memory.
    bool written = true;
    const Error error =
        DrainEntry(*zok.OpenEntry(index), [&written](const uint8_t* bytes, size_t size) {
            written = std::fwrite(bytes, 1, size, stdout) == size;
            return written;
        });
    if (error && written) {
        ReportError(EntryLabel(zok, index) + ": " + ErrorReason(error));
        return kExitFailure;
    }
    if (!written || std::fflush(stdout) != 0) {
        ReportError(EntryLabel(zok, index) + ": cannot write to the standard output");
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace

void RegisterCatCommand(CLI::App& app, CommandAction& action) {
    auto* cmd = app.add_subcommand("cat", "Write an entry's content to the standard output");
    auto archive = std::make_shared<std::string>();
    auto name = std::make_shared<std::string>();
    cmd->add_option("ARCHIVE", *archive, "The archive to read")->required();
    cmd->add_option("NAME", *name,
                    "The entry, found without regard to case (the first of equal names). A "
                    "picture entry gives its PNG stream")
        ->required();
    cmd->footer(
        "The entry is streamed; when damage is found part-way, what was written before it\n"
        "stays on the standard output and the status is 1.\n"
        "Exit status: 0 written; 1 no such entry or it cannot be read; 2 usage error.\n");
    cmd->callback(
        [&action, archive, name] { action = [archive, name] { return RunCat(*archive, *name); }; });
}
