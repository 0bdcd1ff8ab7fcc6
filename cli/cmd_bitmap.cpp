#include <CLI/CLI.hpp>
#include <memory>
#include <string>

#include "cli/commands.h"
#include "cli/read_support.h"
#include "zok/extract.h"

using namespace zok;

namespace {

int RunBitmap(const std::string& path, const std::string& name, const std::string& bmpPath,
              const std::string& alphaPath, bool overwrite, uint64_t maxPixels) {
    const ArchiveEntry entry = OpenArchiveEntry(path, name, maxPixels);
    if (!entry) {
        return kExitFailure;
    }
    const Error error = ExtractPicture(*entry.archive, entry.index, bmpPath, alphaPath, overwrite);
    if (error) {
        ReportError(EntryMessage(*entry.archive, entry.archive->Record(entry.index).name, error));
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
    auto maxPixels = std::make_shared<uint64_t>(0);
    cmd->add_option("ARCHIVE", *archive, "The archive to read")->required();
    cmd->add_option("NAME", *name, "The picture entry, found without regard to case")->required();
    cmd->add_option("OUT.bmp", *bmp, "The 24-bit BMP file to write")->required();
    cmd->add_option("--alpha", *alpha,
                    "Also write the alpha plane as a binary PGM (opaque when the picture has "
                    "no alpha)")
        ->type_name("OUT.pgm");
    cmd->add_flag("--overwrite", *overwrite,
                  "Replace output files that already exist (keeping their permissions)");
    AddPictureLimitOption(*cmd, *maxPixels);
    cmd->footer(
        "An output that is the archive itself, or both outputs one file, is refused; both\n"
        "files are written or neither. The picture is decoded row by row.\n"
        "Exit status: 0 written; 1 no such picture, it cannot be decoded, or an output exists\n"
        "(without --overwrite); 2 usage error.\n");
    cmd->callback([&action, archive, name, bmp, alpha, overwrite, maxPixels] {
        action = [archive, name, bmp, alpha, overwrite, maxPixels] {
            return RunBitmap(*archive, *name, *bmp, *alpha, *overwrite, *maxPixels);
        };
    });
}
