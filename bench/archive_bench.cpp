// The archive as a whole: opening an archive and looking every name up, and building one from
// many small files on one thread and on several.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "archive/directory_writer.h"
#include "bench/corpus.h"
#include "zok/build_archive.h"
#include "zok/zok_file.h"

using namespace zok;

using namespace zokbench;

namespace {

class TempFolder {
public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "zokbench.XXXXXX");
        m_path = ::mkdtemp(pattern.data()) != nullptr ? pattern : "";
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

std::string EntryName(int64_t i) {
    char name[32];
    std::snprintf(name, sizeof name, "asset_%06lld.png", static_cast<long long>(i));
    return name;
}

// An archive of count entries of one byte each, written directly.
void WriteArchiveOf(const std::string& path, int64_t count) {
    std::vector<EntryRecord> records(static_cast<size_t>(count));
    uint64_t nameBytes = 0;
    for (int64_t i = 0; i < count; ++i) {
        records[size_t(i)].name = EntryName(i);
        nameBytes += records[size_t(i)].name.size();
    }
    const uint64_t header = DirectorySize(records.size(), nameBytes);
    for (int64_t i = 0; i < count; ++i) {
        EntryRecord& r = records[size_t(i)];
        r.offset = uint32_t(header + uint64_t(i));
        r.sourceSize = 1;
        r.storedSize = 1;
        r.kind = EntryKind::Other;
    }
    WriteWholeFile(path, SerializeDirectory(records) + std::string(size_t(count), 'x'));
}

void BM_OpenAndFindEveryName(benchmark::State& state) {
    TempFolder folder;
    const std::string path = folder.File("big.zok");
    WriteArchiveOf(path, state.range(0));
    std::vector<std::string> names;
    for (int64_t i = 0; i < state.range(0); ++i) {
        names.push_back(EntryName(i));
    }
    for (auto _ : state) {
        CZokFile archive(path);
        size_t found = 0;
        for (const std::string& name : names) {
            found += archive.Find(name).has_value() ? 1 : 0;
        }
        if (found != names.size()) {
            state.SkipWithError("a name was not found");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_OpenAndFindEveryName)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// 500 small text and source files, packed with the given number of threads.
void BM_BuildSmallFiles(benchmark::State& state) {
    TempFolder folder;
    std::vector<std::string> paths;
    Random sizes(7);
    for (int i = 0; i < 500; ++i) {
        paths.push_back(folder.File("file" + std::to_string(i) + (i % 2 ? ".txt" : ".cpp")));
        const size_t size = 1024 + sizes.Below(16 * 1024);
        WriteWholeFile(paths.back(), i % 2 ? MakeText(size, uint64_t(i)) : MakeSource(size, 9));
    }
    int64_t bytes = 0;
    for (const std::string& p : paths) {
        bytes += int64_t(std::filesystem::file_size(p));
    }
    BuildOptions options;
    options.threads = unsigned(state.range(0));
    for (auto _ : state) {
        BuildReport report;
        if (!BuildArchive(paths, folder.File("out.zok"), nullptr, &report, options)) {
            state.SkipWithError("the build failed");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * bytes);
    state.SetItemsProcessed(state.iterations() * int64_t(paths.size()));
}
BENCHMARK(BM_BuildSmallFiles)->Arg(1)->Arg(2)->Arg(4)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
