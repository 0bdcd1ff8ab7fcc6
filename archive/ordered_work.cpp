#include "archive/ordered_work.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

namespace zok {

namespace {

constexpr size_t kNone = size_t(-1);

class OrderedRun {
public:
    OrderedRun(size_t count, const std::vector<size_t>& after,
               const std::function<void(size_t)>& work, const std::atomic<bool>* cancel)
        : m_after(after), m_work(work), m_cancel(cancel), m_done(count, false) {}

    void Worker() {
        for (;;) {
            size_t k = 0;
            {
                std::unique_lock lock(m_mutex);
                if (m_next >= m_done.size() || Cancelled()) {
                    return;
                }
                k = m_next++;
                // An item that writes what an earlier one writes waits for it.
                const size_t before = k < m_after.size() ? m_after[k] : kNone;
                if (before != kNone) {
                    m_cv.wait(lock, [&] { return m_done[before]; });
                }
            }
            m_work(k);
            std::lock_guard lock(m_mutex);
            m_done[k] = true;
            m_cv.notify_all();
        }
    }

    // Waits until item k is done (true) or no worker will do it (false).
    bool WaitFor(size_t k, size_t workers) {
        std::unique_lock lock(m_mutex);
        m_cv.wait(lock, [&] { return m_done[k] || m_finished == workers; });
        return m_done[k];
    }

    void WorkerEnded() {
        std::lock_guard lock(m_mutex);
        ++m_finished;
        m_cv.notify_all();
    }

private:
    bool Cancelled() const { return m_cancel != nullptr && m_cancel->load(); }

    const std::vector<size_t>& m_after;
    const std::function<void(size_t)>& m_work;
    const std::atomic<bool>* m_cancel;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<bool> m_done;
    size_t m_next = 0;
    size_t m_finished = 0;
};

}  // namespace

unsigned WorkerCount(unsigned threads, size_t count) {
    if (threads == 0) {
        threads = std::max(1u, std::thread::hardware_concurrency());
    }
    return unsigned(std::min<size_t>(threads, std::max<size_t>(count, 1)));
}

size_t RunInOrder(size_t count, unsigned threads, const std::vector<size_t>& after,
                  const std::function<void(size_t)>& work,
                  const std::function<void(size_t)>& report, const std::atomic<bool>* cancel) {
    const unsigned wanted = WorkerCount(threads, count);
    if (wanted <= 1) {
        size_t k = 0;
        for (; k < count && !(cancel != nullptr && cancel->load()); ++k) {
            work(k);
            report(k);
        }
        return k;
    }
    OrderedRun run(count, after, work, cancel);
    std::vector<std::thread> workers;
    try {
        for (unsigned t = 0; t < wanted; ++t) {
            workers.emplace_back([&run] {
                run.Worker();
                run.WorkerEnded();
            });
        }
    } catch (const std::system_error&) {
        // Fewer threads than wanted: those that started share the work.
    }
    if (workers.empty()) {
        return RunInOrder(count, 1, after, work, report, cancel);
    }
    size_t reported = 0;
    while (reported < count && run.WaitFor(reported, workers.size())) {
        report(reported++);
    }
    for (std::thread& thread : workers) {
        thread.join();
    }
    return reported;
}

}  // namespace zok
