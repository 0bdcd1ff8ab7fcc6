#include "ui/background_work.h"

#include <exception>
#include <new>
#include <utility>

BackgroundWork::BackgroundWork(QObject& receiver) : m_receiver(receiver) {}

BackgroundWork::~BackgroundWork() {
    m_cancel = true;
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

bool BackgroundWork::Start(std::function<void()> work, std::function<void()> done) {
    if (m_running) {
        return false;
    }
    if (m_thread.joinable()) {
        m_thread.join();
    }
    m_cancel = false;
    m_running = true;
    m_done = std::move(done);
    m_lastProgress = {};
    const uint64_t generation = ++m_generation;
    m_failure.clear();
    m_thread = std::thread([this, generation, work = std::move(work)] {
        // Nothing a worker meets ends the program: running out of memory is reported.
        try {
            work();
        } catch (const std::bad_alloc&) {
            m_failure = "메모리가 모자랍니다";
        } catch (const std::exception& e) {
            m_failure = e.what();
        }
        Post([this, generation] { Finish(generation); });
    });
    return true;
}

void BackgroundWork::Post(std::function<void()> call) {
    QMetaObject::invokeMethod(&m_receiver, std::move(call), Qt::QueuedConnection);
}

void BackgroundWork::PostProgress(std::function<void()> call) {
    const auto now = std::chrono::steady_clock::now();
    if (now - m_lastProgress < std::chrono::milliseconds(50)) {
        return;
    }
    m_lastProgress = now;
    Post(std::move(call));
}

void BackgroundWork::Wait() {
    if (m_running) {
        m_thread.join();
        Finish(m_generation);
    }
}

void BackgroundWork::Finish(uint64_t generation) {
    // A finish posted by work that Wait has finished already, or by earlier work, is stale.
    if (!m_running || generation != m_generation) {
        return;
    }
    if (m_thread.joinable()) {
        m_thread.join();
    }
    m_running = false;
    std::function<void()> done = std::move(m_done);
    m_done = nullptr;
    if (!m_failure.empty() && m_onFailure) {
        m_onFailure(m_failure);
        return;
    }
    done();
}
