#include <CLI/CLI.hpp>
#include <memory>
#include <string>

#include "cli/commands.h"
#include "cli/read_support.h"
#include "io/regular_file.h"

using namespace zok;

namespace {

int RunBitmap(const std::string& path, const std::string& name, const std::string& bmpPath,
              const std::string& alphaPath, bool overwrite) {
    const ArchiveEntry entry = OpenArchiveEntry(path, name);
    if (!entry) {
        return kExitFailure;
    }
    // Outputs never destroy the archive or each other.
    for (const std::string& output : {bmpPath, alphaPath}) {
        if (const std::string refused = RefusedOutput(output, path); !refused.empty()) {
            ReportError(refused);
            return kExitFailure;
        }
    }
    if (!alphaPath.empty() && (alphaPath == bmpPath || SameFile(alphaPath, bmpPath))) {
        ReportError(alphaPath + ": the alpha plane and the picture cannot go to one file");
        return kExitFailure;
    }
    std::string bmp, pgm, why;
    if (!DecodePicture(*entry.archive, entry.index, &bmp, alphaPath.empty() ? nullptr : &pgm,
                       &why)) {
        ReportError(EntryLabel(*entry.archive, entry.index) + ": " + why);
        return kExitFailure;
    }
    std::string error;
    if (!WriteOutputFile(bmpPath, bmp, overwrite, &error) ||
        (!alphaPath.empty() && !WriteOutputFile(alphaPath, pgm, overwrite, &error))) {
        ReportError(error);
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace

void RegisterBitmapCommand(CLI::App& app, CommandAction& action) {
    auto* cmd = app.add_subcommand(
        "bitmap", "Decode a picture entry into a 24-bit BMP file, and its alpha plane as a PGM");
    auto archive = std::make_shared<std::string>();
    auto name = std::make_shared<std::string>();
    auto bmp = std::make_shared<std::string>();
    auto alpha = std::make_shared<std::string>();
    auto overwrite = std::make_shared<bool>(false);
    cmd->add_option("ARCHIVE", *archive, "The archive to read")->required();
    cmd->add_option("NAME", *name, "The picture entry, found without regard to case")->required();
    cmd->add_option("OUT.bmp", *bmp, "The 24-bit BMP file to write")->required();
    cmd->add_option("--alpha", *alpha,
                    "Also write the alpha plane as a binary PGM (opaque when the picture has "
                    "no alpha)");
    cmd->add_flag("--overwrite", *overwrite,
                  "Replace output files that already exist (keeping their permissions)");
    cmd->footer(
        "An output that is the archive itself is refused.\n"
        "Exit status: 0 written; 1 no such picture, it cannot be decoded, or an output exists\n"
        "(without --overwrite); 2 usage error.\n");
    cmd->callback([&action, archive, name, bmp, alpha, overwrite] {
        action = [archive, name, bmp, alpha, overwrite] {
            return RunBitmap(*archive, *name, *bmp, *alpha, *overwrite);
        };
    });
}
