#include "cli/progress_bar.h"

#include <unistd.h>

#include <cstdio>

#include "cli/output.h"

bool ProgressBar::Enabled() {
    return ::isatty(STDERR_FILENO) == 1;
}

ProgressBar::ProgressBar(std::string label, uint64_t totalBytes, bool allowed)
    : m_label(std::move(label)),
      m_total(totalBytes),
      m_enabled(allowed && Enabled()),
      m_start(std::chrono::steady_clock::now()) {}

ProgressBar::~ProgressBar() {
    Finish();
}

void ProgressBar::Update(uint64_t doneBytes, const std::string& detail) {
    std::lock_guard lock(m_mutex);
    m_done = doneBytes;
    Draw(detail);
}

void ProgressBar::Update(uint64_t doneBytes, uint64_t totalBytes, const std::string& detail) {
    std::lock_guard lock(m_mutex);
    m_done = doneBytes;
    m_total = totalBytes;
    Draw(detail);
}

void ProgressBar::Advance(uint64_t bytes, const std::string& detail) {
    std::lock_guard lock(m_mutex);
    m_done += bytes;
    Draw(detail);
}

void ProgressBar::Draw(const std::string& detail) {
    if (!m_enabled) {
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (m_drawn && now - m_lastDraw < std::chrono::milliseconds(100)) {
        return;
    }
    m_lastDraw = now;
    constexpr int kWidth = 30;
    const uint64_t done = m_done < m_total ? m_done : m_total;
    const int percent = m_total == 0 ? 100 : int(done * 100 / m_total);
    std::string bar(size_t(percent * kWidth / 100), '#');
    bar.resize(kWidth, '.');
    const std::string shown =
        Printable(detail.size() > 30 ? "..." + detail.substr(detail.size() - 27) : detail);
    std::fprintf(stderr, "\r\033[K%s [%s] %3d%% %s / %s %s", m_label.c_str(), bar.c_str(), percent,
                 HumanBytes(done).c_str(), HumanBytes(m_total).c_str(), shown.c_str());
    std::fflush(stderr);
    m_drawn = true;
}

void ProgressBar::Clear() {
    std::lock_guard lock(m_mutex);
    if (m_enabled && m_drawn) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        m_drawn = false;
    }
}

void ProgressBar::Finish(const std::string& summary) {
    std::lock_guard lock(m_mutex);
    if (!m_enabled) {
        return;
    }
    if (m_drawn) {
        std::fputs("\r\033[K", stderr);
        m_drawn = false;
    }
    if (!summary.empty()) {
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
        std::fprintf(stderr, "%s in %.1f s\n", Printable(summary).c_str(), seconds);
    }
    std::fflush(stderr);
    m_enabled = false;
}

std::string HumanBytes(uint64_t bytes) {
    char text[32];
    if (bytes < 1000) {
        std::snprintf(text, sizeof text, "%llu B", static_cast<unsigned long long>(bytes));
    } else if (bytes < 1000 * 1000) {
        std::snprintf(text, sizeof text, "%.1f kB", double(bytes) / 1e3);
    } else if (bytes < 1000ull * 1000 * 1000) {
        std::snprintf(text, sizeof text, "%.1f MB", double(bytes) / 1e6);
    } else {
        std::snprintf(text, sizeof text, "%.2f GB", double(bytes) / 1e9);
    }
    return text;
}
