#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

// A one-line progress bar on stderr counting bytes, drawn only when stderr is a terminal (and
// the command is not quiet), at most ten times a second; any thread may move it. Finish clears it
// and, when it was shown, prints a one-line summary.
class ProgressBar {
public:
    ProgressBar(std::string label, uint64_t totalBytes, bool allowed = true);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    // Sets how many bytes are done, and the name of what is being worked on.
    void Update(uint64_t doneBytes, const std::string& detail = "");
    // The same, with the total learnt as the work goes.
    void Update(uint64_t doneBytes, uint64_t totalBytes, const std::string& detail);
    // Adds bytes done.
    void Advance(uint64_t bytes, const std::string& detail = "");
    // Clears the bar's line so that a message can be printed; the bar comes back on its next move.
    void Clear();
    // Ends the bar; with summary non-empty prints it (on a terminal only), with the time taken.
    void Finish(const std::string& summary = "");

    static bool Enabled();

private:
    void Draw(const std::string& detail);

    std::mutex m_mutex;
    std::string m_label;
    uint64_t m_total;
    uint64_t m_done = 0;
    bool m_enabled;
    bool m_drawn = false;
    std::chrono::steady_clock::time_point m_start;
    std::chrono::steady_clock::time_point m_lastDraw;
};

// A byte count for people: "532 B", "1.4 MB", "2.0 GB".
std::string HumanBytes(uint64_t bytes);
