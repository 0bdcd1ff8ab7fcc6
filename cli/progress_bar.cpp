#include "cli/progress_bar.h"

#include <unistd.h>

#include <cstdio>

bool ProgressBar::Enabled() {
    return ::isatty(STDERR_FILENO) == 1;
}

ProgressBar::ProgressBar(std::string label, uint64_t total)
    : m_label(std::move(label)), m_total(total), m_enabled(Enabled()) {}

ProgressBar::~ProgressBar() {
    Finish();
}

void ProgressBar::Update(uint64_t done, const std::string& detail) {
    if (!m_enabled) {
        return;
    }
    constexpr int kWidth = 30;
    const int percent = m_total == 0 ? 100 : int(done * 100 / m_total);
    const int filled = percent * kWidth / 100;
    std::string bar(size_t(filled), '#');
    bar.resize(kWidth, '.');
    std::string shown = detail.size() > 40 ? "..." + detail.substr(detail.size() - 37) : detail;
    std::fprintf(stderr, "\r\033[K%s [%s] %3d%% %s", m_label.c_str(), bar.c_str(), percent,
                 shown.c_str());
    std::fflush(stderr);
    m_drawn = true;
}

void ProgressBar::Finish() {
    if (m_enabled && m_drawn) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        m_drawn = false;
    }
}
