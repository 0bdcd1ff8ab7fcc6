#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

namespace zok {

// Where a worker's reports go: the window's own (user-interface) thread. No Qt here; the
// windows implement it over their event queue, tests with a queue of their own.
class WorkPoster {
public:
    virtual ~WorkPoster() = default;
    // Called on the worker thread: runs call on the window's thread soon, calls in the order
    // posted; a call for a window that is gone is dropped.
    virtual void PostToWindow(std::function<void()> call) = 0;
};

// Runs one piece of work at a time on a thread of its own, so that a window stays responsive
// while an archive is read or written: the one worker of both windows (the compressor's build,
// the archive window's extraction, check, upgrade and preview). What the work reports and its
// end reach the window on its own thread through the poster. Nothing the work throws ends the
// program: running out of memory (or any other exception) is handed to OnFailure instead of
// done. The owner cancels and joins the work before it goes away (the destructor does).
class Worker {
public:
    // The poster must outlive the worker.
    explicit Worker(WorkPoster& poster) : m_poster(poster) {}
    // Cancels the running work and waits for its thread; its done is not called.
    ~Worker();
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    // Window thread. Starts work on the worker thread; done runs on the window thread once
    // work has returned. False (nothing started) while earlier work is still running or no
    // thread can be had.
    bool Start(std::function<void()> work, std::function<void()> done);
    // Window thread: true from Start until done (or the failure) has run.
    bool Running() const { return m_running; }
    // Any thread: asks the work to stop; the work looks at CancelFlag and returns early.
    void Cancel() { m_cancel = true; }
    const std::atomic<bool>& CancelFlag() const { return m_cancel; }

    // Worker thread: runs call on the window thread soon.
    void Post(std::function<void()> call) { m_poster.PostToWindow(std::move(call)); }
    // Worker thread: posts call at most every 50 ms (the last report may be dropped; the
    // work's done shows the end).
    void PostProgress(std::function<void()> call);

    // Window thread: waits until the running work has returned, then runs its done at once.
    void Wait();
    // Any thread but the worker's: waits until the running work has returned; its done still
    // arrives through the poster.
    void Join();

    // Window thread: what runs instead of done when the work threw, with the reason in words
    // ("메모리가 모자랍니다" when memory ran out).
    void OnFailure(std::function<void(const std::string&)> failed) {
        m_onFailure = std::move(failed);
    }

private:
    void Finish(uint64_t generation);

    WorkPoster& m_poster;
    std::thread m_thread;
    std::atomic<bool> m_cancel{false};
    bool m_running = false;
    uint64_t m_generation = 0;
    std::function<void()> m_done;
    std::function<void(const std::string&)> m_onFailure;
    std::string m_failure;  // written by the worker before it ends
    std::chrono::steady_clock::time_point m_lastProgress;
};

}  // namespace zok
