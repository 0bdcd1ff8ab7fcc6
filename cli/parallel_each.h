#pragma once

#include <cstddef>
#include <functional>

// Calls work(k) once for every k in [0, count), spread over one thread per core (at most
// count); returns when every call has returned. work must be safe to run on several threads.
// When no thread can be started the calls run on the calling thread.
void ParallelEach(size_t count, const std::function<void(size_t)>& work);
