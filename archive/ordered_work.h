#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <vector>

namespace zok {

// Runs work(k) for every k in [0, count) on up to `threads` threads and hands each finished k
// to report(k) on the calling thread, in order of k. An item whose after[k] names an earlier
// item (not npos) runs only once that one is done, never beside it: two items that write one
// file. work must not throw. Once *cancel is set no new item starts; report is called for the
// items done before the first that was not, and the count of items reported is returned.
size_t RunInOrder(size_t count, unsigned threads, const std::vector<size_t>& after,
                  const std::function<void(size_t)>& work,
                  const std::function<void(size_t)>& report, const std::atomic<bool>* cancel);

// The threads to use for `threads` (0: one per core) and count items.
unsigned WorkerCount(unsigned threads, size_t count);

}  // namespace zok
