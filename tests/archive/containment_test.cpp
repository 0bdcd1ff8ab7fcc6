// The extraction that both programs use keeps every file it writes inside its folder, whatever
// links the folder holds or gains while it runs.

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <thread>

#include "tests/archive/handmade_archive.h"
#include "zok/extract.h"
#include "zok/zok_file.h"

using namespace zok;
using namespace zoktest;
namespace fs = std::filesystem;

namespace {

std::map<std::string, std::string> Files(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_symlink()) {
            files[entry.path().lexically_relative(folder).string()] =
                "-> " + fs::read_symlink(entry.path()).string();
        } else if (entry.is_regular_file()) {
            files[entry.path().lexically_relative(folder).string()] = ReadFile(entry.path());
        }
    }
    return files;
}

ExtractResult ExtractAll(const CZokFile& zok, const std::string& folder, ExistingFiles policy,
                         unsigned threads = 1, std::vector<ExtractItem>* planned = nullptr) {
    std::vector<size_t> all(zok.Count());
    for (size_t i = 0; i < all.size(); ++i) {
        all[i] = i;
    }
    Extraction extraction(zok);
    EXPECT_FALSE(extraction.Plan(folder, all));
    extraction.Decide(policy);
    if (planned != nullptr) {
        *planned = extraction.Items();
    }
    ExtractOptions options;
    options.threads = threads;
    return extraction.Run(options);
}

TEST(Containment, LinksLeadingOutAreRefusedByNameAndLinksInsideAreFollowed) {
    TempDir dir;
    const fs::path out = dir.Path() / "out";
    const fs::path outside = dir.Path() / "outside";
    fs::create_directories(out / "sub");
    fs::create_directories(outside);
    WriteFile((outside / "victim").string(), "precious");
    WriteFile((out / "sub" / "real.txt").string(), "old");
    fs::create_symlink("../outside/victim", out / "readme.txt");
    fs::create_symlink("../outside/created", out / "notes.txt");
    fs::create_symlink((outside / "abs").string(), out / "abs.txt");
    fs::create_symlink("sub/../sub/real.txt", out / "inside.txt");
    WriteFile(dir.File("a.zok"),
              MakeArchive({DeflatedEntry("readme.txt", "R"), DeflatedEntry("notes.txt", "N"),
                           DeflatedEntry("abs.txt", "A"), DeflatedEntry("inside.txt", "I"),
                           DeflatedEntry("plain.txt", "P")}));
    const CZokFile zok(dir.File("a.zok"));
    const auto outsideBefore = Files(outside);

    std::vector<ExtractItem> planned;
    const ExtractResult result = ExtractAll(zok, out.string(), ExistingFiles::Replace, 1, &planned);
    for (size_t k : {0, 1, 2}) {
        EXPECT_EQ(result.items[k].status, ItemStatus::Failed) << planned[k].name;
        EXPECT_EQ(result.items[k].error.code, ErrorCode::LinkLeadsOut) << planned[k].name;
    }
    // The question about the inside link names the file that is written.
    EXPECT_TRUE(planned[3].taken);
    EXPECT_EQ(planned[3].writesTo, out.string() + "/sub/../sub/real.txt");
    EXPECT_EQ(result.items[3].status, ItemStatus::Replaced);
    EXPECT_EQ(result.items[4].status, ItemStatus::Written);
    EXPECT_EQ(Files(outside), outsideBefore);
    EXPECT_EQ(ReadFile((out / "sub" / "real.txt").string()), "I");
    EXPECT_TRUE(fs::is_symlink(out / "inside.txt"));
    EXPECT_EQ(ReadFile((out / "plain.txt").string()), "P");
}

// A second thread swaps the folder's names for links that lead out, as fast as it can, while
// 2,000 entries are written on two threads: nothing outside is created or changed.
TEST(Containment, ARaceSwappingNamesForOutwardLinksNeverGetsOut) {
    constexpr int kEntries = 2000;
    TempDir dir;
    std::vector<HandEntry> entries;
    for (int i = 0; i < kEntries; ++i) {
        entries.push_back(DeflatedEntry("f" + std::to_string(100000 + i), "from the archive"));
    }
    WriteFile(dir.File("a.zok"), MakeArchive(entries));
    const CZokFile zok(dir.File("a.zok"));
    for (const ExistingFiles policy : {ExistingFiles::Keep, ExistingFiles::Replace}) {
        SCOPED_TRACE(policy == ExistingFiles::Keep ? "keep" : "replace");
        const fs::path round = dir.Path() / (policy == ExistingFiles::Keep ? "keep" : "replace");
        const fs::path out = round / "out";
        const fs::path outside = round / "outside";
        fs::create_directories(out);
        fs::create_directories(outside);
        for (int i = 0; i < kEntries; i += 2) {
            WriteFile((outside / ("f" + std::to_string(100000 + i))).string(), "theirs");
        }
        const auto outsideBefore = Files(outside);
        std::atomic<bool> done{false};
        std::thread racer([&] {
            while (!done.load()) {
                for (int i = 0; i < kEntries && !done.load(); ++i) {
                    const std::string name = "f" + std::to_string(100000 + i);
                    const fs::path temp = out / (name + ".link");
                    std::error_code ec;
                    fs::create_symlink("../outside/" + name, temp, ec);
                    fs::rename(temp, out / name, ec);
                }
            }
        });
        ExtractAll(zok, out.string(), policy, 2);
        done = true;
        racer.join();
        EXPECT_EQ(Files(outside), outsideBefore);
    }
}

}  // namespace
