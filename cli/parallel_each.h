#pragma once

#include <cstddef>
#include <functional>
#include <string>

// Runs work(k) for every k in [0, count) on one thread per core, a window of entries at a
// time so that the results held stay few whatever the count, and hands each result to
// report(k, result) on the calling thread in order of k. When alone(k) is true, work(k) runs
// after the other entries of its window and in order, never beside another one (two entries
// that write the same file). An exception from work(k) becomes its result: the message.
void ParallelInOrder(size_t count, const std::function<std::string(size_t)>& work,
                     const std::function<void(size_t, const std::string&)>& report,
                     const std::function<bool(size_t)>& alone = {});
