#pragma once

#include <cstdint>
#include <string>

// A one-line progress bar on stderr, drawn only when stderr is a terminal.
class ProgressBar {
public:
    ProgressBar(std::string label, uint64_t total);
    ~ProgressBar();
    void Update(uint64_t done, const std::string& detail);
    void Finish();

    static bool Enabled();

private:
    std::string m_label;
    uint64_t m_total;
    bool m_enabled;
    bool m_drawn = false;
};
