#include "python/progress_bridge.h"

#include <utility>

namespace zokpy {

ProgressBridge::ProgressBridge(py::object progress, py::object cancel, Names names)
    : m_progress(std::move(progress)), m_cancel(std::move(cancel)), m_names(names) {
    if (!m_progress.is_none() && !PyCallable_Check(m_progress.ptr())) {
        throw py::type_error("progress must be callable: progress(done_bytes, total_bytes, name)");
    }
    if (!m_cancel.is_none() && !py::hasattr(m_cancel, "is_set")) {
        throw py::type_error("cancel must have is_set(), as threading.Event has");
    }
}

void ProgressBridge::Report(uint64_t done, uint64_t total, const std::string& name) {
    if (m_stop.load()) {
        return;
    }
    py::gil_scoped_acquire locked;
    try {
        if (PyErr_CheckSignals() != 0) {
            throw py::error_already_set();
        }
        if (!m_cancel.is_none() && py::bool_(m_cancel.attr("is_set")())) {
            m_stop = true;
            return;
        }
        if (!m_progress.is_none()) {
            m_progress(done, total, m_names == Names::Paths ? PathText(name) : Text(name));
        }
    } catch (py::error_already_set& raised) {
        m_raised = std::move(raised);
        m_stop = true;
    }
}

void ProgressBridge::RaiseCallerError() {
    if (m_raised) {
        py::error_already_set raised = std::move(*m_raised);
        m_raised.reset();
        throw raised;
    }
}

}  // namespace zokpy
