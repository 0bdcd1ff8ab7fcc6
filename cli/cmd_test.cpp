#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>
#include <string>

#include "cli/commands.h"
#include "cli/progress_bar.h"
#include "cli/read_support.h"

namespace {

// Reads the entry in full; pictures are decoded as well, which checks their pixel data.
bool CheckEntry(CZokFile& zok, size_t index, std::string* why) {
    if (!ReadEntryContent(zok, index, why)) {
        return false;
    }
    if (zok.Records()[index].kind == EntryKind::PngStream) {
        BITMAPINFOHEADER header;
        PixelBuffer alpha;
        try {
            if (!zok.DecodeEntryBitmapAt(index, &header, &alpha)) {
                *why = "its picture cannot be decoded";
                return false;
            }
        } catch (const std::exception& e) {
            *why = std::string("its picture is damaged (") + e.what() + ")";
            return false;
        }
    }
    return true;
}

int RunTest(const std::string& path) {
    std::unique_ptr<CZokFile> zok = OpenArchive(path);
    if (!zok) {
        return kExitFailure;
    }
    const size_t count = zok->Records().size();
    size_t damaged = 0;
    ProgressBar bar("testing", count);
    for (size_t i = 0; i < count; ++i) {
        bar.Update(i, Printable(zok->Records()[i].name));
        std::string why;
        if (!CheckEntry(*zok, i, &why)) {
            bar.Finish();
            ReportError(EntryLabel(*zok, i) + ": damaged: " + why);
            ++damaged;
        }
    }
    bar.Finish();
    std::printf("%s: %zu entries, %zu damaged\n", Printable(path).c_str(), count, damaged);
    return damaged == 0 ? kExitOk : kExitFailure;
}

}  // namespace

void RegisterTestCommand(CLI::App& app, CommandAction& action) {
    auto* cmd = app.add_subcommand("test", "Read and decode every entry; report the damaged ones");
    auto archive = std::make_shared<std::string>();
    cmd->add_option("ARCHIVE", *archive, "The archive to check")->required();
    cmd->footer(
        "Exit status: 0 every entry is sound; 1 the archive or some entry is damaged (each named "
        "on stderr); 2 usage error.\n");
    cmd->callback([&action, archive] { action = [archive] { return RunTest(*archive); }; });
}
