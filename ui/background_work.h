#pragma once

#include <QObject>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

// Runs one piece of work at a time on a thread of its own, so that a window stays responsive
// while an archive is read or written. What the work reports and its end reach the window on
// its own (UI) thread, through the receiver's event queue; calls for a receiver that is gone
// are dropped. The owner cancels and joins the work before it goes away (the destructor does).
class BackgroundWork {
public:
    // receiver: the window that gets the reports; it must outlive this object.
    explicit BackgroundWork(QObject& receiver);
    // Cancels the running work and waits for its thread; its done is not called.
    ~BackgroundWork();
    BackgroundWork(const BackgroundWork&) = delete;
    BackgroundWork& operator=(const BackgroundWork&) = delete;

    // UI thread. Starts work on the worker thread; done runs on the UI thread once work has
    // returned. False (nothing started) while earlier work is still running.
    bool Start(std::function<void()> work, std::function<void()> done);
    // UI thread: true from Start until done has run.
    bool Running() const { return m_running; }
    // Any thread: asks the work to stop; the work looks at CancelFlag and returns early.
    void Cancel() { m_cancel = true; }
    const std::atomic<bool>& CancelFlag() const { return m_cancel; }

    // Worker thread: runs call on the UI thread soon.
    void Post(std::function<void()> call);
    // Worker thread: posts call at most every 50 ms (the last report may be dropped; the
    // work's done shows the end).
    void PostProgress(std::function<void()> call);

    // UI thread: waits until the running work has returned, then runs its done at once.
    void Wait();

    // UI thread: what runs instead of done when the work threw (out of memory: "메모리가
    // 모자랍니다"), with the reason in words.
    void OnFailure(std::function<void(const std::string&)> failed) {
        m_onFailure = std::move(failed);
    }

private:
    void Finish(uint64_t generation);

    QObject& m_receiver;
    std::thread m_thread;
    std::atomic<bool> m_cancel{false};
    bool m_running = false;
    uint64_t m_generation = 0;
    std::function<void()> m_done;
    std::function<void(const std::string&)> m_onFailure;
    std::string m_failure;  // written by the worker before it ends
    std::chrono::steady_clock::time_point m_lastProgress;
};
