#include "cli/parallel_each.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

namespace {

constexpr size_t kWindow = 4096;

std::string RunGuarded(const std::function<std::string(size_t)>& work, size_t k) {
    try {
        return work(k);
    } catch (const std::bad_alloc&) {
        return "not enough memory";
    } catch (const std::exception& e) {
        return e.what();
    }
}

// Calls run on up to `threads` threads (this one included) and waits for all.
void OnThreads(size_t threads, const std::function<void()>& run) {
    std::vector<std::thread> started;
    try {
        for (size_t t = 1; t < threads; ++t) {
            started.emplace_back(run);
        }
    } catch (const std::system_error&) {
        // Fewer threads than wanted: the ones that started and this one share the work.
    }
    run();
    for (std::thread& thread : started) {
        thread.join();
    }
}

}  // namespace

void ParallelInOrder(size_t count, const std::function<std::string(size_t)>& work,
                     const std::function<void(size_t, const std::string&)>& report,
                     const std::function<bool(size_t)>& alone) {
    const size_t cores = std::max(1u, std::thread::hardware_concurrency());
    std::vector<std::string> results;
    std::vector<size_t> together, later;
    for (size_t start = 0; start < count; start += kWindow) {
        const size_t end = std::min(count, start + kWindow);
        results.assign(end - start, std::string());
        together.clear();
        later.clear();
        for (size_t k = start; k < end; ++k) {
            (alone && alone(k) ? later : together).push_back(k);
        }
        std::atomic<size_t> next{0};
        OnThreads(std::min(cores, together.size()), [&] {
            for (size_t n = next++; n < together.size(); n = next++) {
                results[together[n] - start] = RunGuarded(work, together[n]);
            }
        });
        for (size_t k : later) {
            results[k - start] = RunGuarded(work, k);
        }
        for (size_t k = start; k < end; ++k) {
            report(k, results[k - start]);
        }
    }
}
