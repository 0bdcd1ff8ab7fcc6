#include "job/worker.h"

#include <exception>
#include <new>
#include <system_error>
#include <utility>

namespace zok {

Worker::~Worker() {
    m_cancel = true;
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

bool Worker::Start(std::function<void()> work, std::function<void()> done) {
    if (m_running) {
        return false;
    }
    if (m_thread.joinable()) {
        m_thread.join();
    }
    m_cancel = false;
    m_done = std::move(done);
    m_failure.clear();
    m_lastProgress = {};
    const uint64_t generation = ++m_generation;
    try {
        m_thread = std::thread([this, generation, work = std::move(work)] {
            try {
                work();
            } catch (const std::bad_alloc&) {
                m_failure = "메모리가 모자랍니다";
            } catch (const std::exception& e) {
                m_failure = e.what();
            }
            Post([this, generation] { Finish(generation); });
        });
    } catch (const std::system_error&) {
        m_done = nullptr;
        return false;
    }
    m_running = true;
    return true;
}

void Worker::PostProgress(std::function<void()> call) {
    const auto now = std::chrono::steady_clock::now();
    if (now - m_lastProgress < std::chrono::milliseconds(50)) {
        return;
    }
    m_lastProgress = now;
    Post(std::move(call));
}

void Worker::Wait() {
    if (m_running) {
        Join();
        Finish(m_generation);
    }
}

void Worker::Join() {
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void Worker::Finish(uint64_t generation) {
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
    if (done) {
        done();
    }
}

}  // namespace zok
