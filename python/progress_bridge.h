#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

#include "python/bindings.h"

namespace zokpy {

// Carries the caller's progress callable and cancel flag into a library operation that runs
// with the GIL released (create, upgrade, and every operation that writes an archive).
//
// The library reports on the calling thread; Report takes the GIL, looks at the flag (any
// object with is_set(), such as threading.Event), calls progress(done_bytes, total_bytes, name)
// and lets Python handle its signals. Whatever the caller's code raises there (Ctrl-C's
// KeyboardInterrupt included) stops the operation through Flag(); RaiseCallerError raises it
// again once the operation has returned and cleaned up.
class ProgressBridge {
public:
    enum class Names { Paths, Entries };

    // GIL held.
    ProgressBridge(py::object progress, py::object cancel, Names names);

    // True when there is nothing to tell or ask: the operation may run without reports.
    bool Idle() const { return m_progress.is_none() && m_cancel.is_none(); }

    // GIL released.
    void Report(uint64_t done, uint64_t total, const std::string& name);

    // The flag the library looks at.
    const std::atomic<bool>* Flag() const { return &m_stop; }

    // GIL held, after the operation: raises what the caller's code raised, if anything.
    void RaiseCallerError();

private:
    py::object m_progress;
    py::object m_cancel;
    Names m_names;
    std::atomic<bool> m_stop{false};
    std::optional<py::error_already_set> m_raised;
};

}  // namespace zokpy
