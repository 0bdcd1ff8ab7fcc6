#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>
#include <string>

#include "cli/commands.h"
#include "cli/parallel_each.h"
#include "cli/progress_bar.h"
#include "cli/read_support.h"

using namespace zok;

namespace {

// Why the entry is damaged or empty, or "" when it is sound: every entry is read through to
// its end and held to its exact size; pictures are decoded as well, which checks their pixels.
std::string CheckEntry(const CZokFile& zok, size_t index, ProgressBar& bar) {
    if (std::optional<std::string> problem = zok.EntryProblem(index)) {
        return *problem;
    }
    std::string why;
    const std::string name = zok.Record(index).name;
    const auto count = [&bar, &name](const uint8_t*, size_t size) {
        bar.Advance(size, name);
        return true;
    };
    if (!StreamEntry(zok, index, count, &why)) {
        return why;
    }
    const EntryKind kind = zok.Record(index).kind;
    if (kind == EntryKind::PngStream || kind == EntryKind::BmpFile) {
        BITMAPINFOHEADER header;
        PixelBuffer alpha;
        try {
            if (!zok.DecodeEntryBitmapAt(index, &header, &alpha)) {
                return "its picture cannot be decoded";
            }
        } catch (const std::bad_alloc&) {
            return "not enough memory to decode its picture";
        } catch (const std::exception& e) {
            return std::string("its picture is damaged (") + e.what() + ")";
        }
    }
    return "";
}

int RunTest(const std::string& path) {
    std::unique_ptr<CZokFile> zok = OpenArchive(path);
    if (!zok) {
        return kExitFailure;
    }
    const size_t count = zok->Count();
    uint64_t total = 0;
    for (size_t i = 0; i < count; ++i) {
        total += zok->GetEntrySizeAt(i);
    }
    ProgressBar bar("testing", total);
    size_t damaged = 0;
    ParallelInOrder(
        count, [&](size_t i) { return CheckEntry(*zok, i, bar); },
        [&](size_t i, const std::string& problem) {
            if (!problem.empty()) {
                bar.Clear();
                const char* what = zok->HoldsNoData(i) ? ": " : ": damaged: ";
                ReportError(EntryLabel(*zok, i) + what + problem);
                ++damaged;
            }
        });
    bar.Finish("tested " + std::to_string(count) + " entries, " + HumanBytes(total));
    Say(path + ": " + std::to_string(count) + " entries, " + std::to_string(damaged) + " damaged");
    return damaged == 0 ? kExitOk : kExitFailure;
}

}  // namespace

void RegisterTestCommand(CLI::App& app, CommandAction& action) {
    auto* cmd = app.add_subcommand("test", "Read and decode every entry; report the damaged ones");
    auto archive = std::make_shared<std::string>();
    cmd->add_option("ARCHIVE", *archive, "The archive to check")->required();
    cmd->footer(
        "Every entry is read to its end and must give exactly its size; pictures are decoded.\n"
        "Entries left empty because they could not be encoded are named too.\n"
        "Exit status: 0 every entry is sound; 1 the archive or some entry is damaged or empty\n"
        "(each named on stderr); 2 usage error.\n");
    cmd->callback([&action, archive] { action = [archive] { return RunTest(*archive); }; });
}
