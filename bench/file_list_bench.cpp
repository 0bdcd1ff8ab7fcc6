// The file list behind the main window: adding paths, reading them back in order and removing
// them, for lists of growing length.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "job/file_list.h"

using namespace zok;

namespace {

std::vector<std::string> Paths(int64_t count) {
    std::vector<std::string> paths;
    for (int64_t i = 0; i < count; ++i) {
        paths.push_back("/home/user/game/assets/textures/tile_" + std::to_string(i) + ".png");
    }
    return paths;
}

void BM_FileListAddAndReadBack(benchmark::State& state) {
    const std::vector<std::string> paths = Paths(state.range(0));
    for (auto _ : state) {
        CFileList list;
        for (const std::string& p : paths) {
            list.Add(p);
        }
        size_t total = 0;
        for (int32_t i = 0; i < list.GetCount(); ++i) {
            total += list.GetAt(i).size();
        }
        benchmark::DoNotOptimize(total);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_FileListAddAndReadBack)->RangeMultiplier(4)->Range(256, 16384)->Complexity();

void BM_FileListRemoveFromFront(benchmark::State& state) {
    const std::vector<std::string> paths = Paths(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        CFileList list;
        for (const std::string& p : paths) {
            list.Add(p);
        }
        state.ResumeTiming();
        while (list.GetCount() > 0) {
            list.RemoveAt(0);
        }
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_FileListRemoveFromFront)->RangeMultiplier(4)->Range(256, 16384);

}  // namespace

BENCHMARK_MAIN();
