#include "cli/parallel_each.h"

#include <algorithm>
#include <atomic>
#include <system_error>
#include <thread>
#include <vector>

void ParallelEach(size_t count, const std::function<void(size_t)>& work) {
    std::atomic<size_t> next{0};
    const auto run = [&] {
        for (size_t k = next++; k < count; k = next++) {
            work(k);
        }
    };
    const size_t wanted =
        std::min<size_t>(std::max(1u, std::thread::hardware_concurrency()), count);
    std::vector<std::thread> threads;
    try {
        for (size_t t = 1; t < wanted; ++t) {
            threads.emplace_back(run);
        }
    } catch (const std::system_error&) {
        // Fewer threads than cores: the ones that started and this one share the work.
    }
    run();
    for (std::thread& thread : threads) {
        thread.join();
    }
}
