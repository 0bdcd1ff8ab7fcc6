#include "io/temporary_files.h"

#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

namespace zok {

namespace {

// One fixed slot per temporary file: no allocation, so that a handler can walk them.
struct Slot {
    std::atomic<int> state{0};  // 0 free, 1 being filled, 2 holds a name
    char path[PATH_MAX];
};
constexpr int kSlots = 64;
Slot g_slots[kSlots];

void OnSignal(int signal) {
    RemoveTemporaryFilesNow();
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

}  // namespace

bool RegisterTemporaryFile(const std::string& path) {
    if (path.size() >= PATH_MAX) {
        return false;
    }
    for (Slot& slot : g_slots) {
        int expected = 0;
        if (slot.state.compare_exchange_strong(expected, 1)) {
            std::memcpy(slot.path, path.c_str(), path.size() + 1);
            slot.state.store(2);
            return true;
        }
    }
    return false;
}

void UnregisterTemporaryFile(const std::string& path) {
    for (Slot& slot : g_slots) {
        if (slot.state.load() == 2 && path == slot.path) {
            slot.state.store(0);
            return;
        }
    }
}

void RemoveTemporaryFilesNow() {
    for (Slot& slot : g_slots) {
        if (slot.state.load() == 2) {
            ::unlink(slot.path);
        }
    }
}

void RemoveTemporaryFilesOnSignals() {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        ::sigaction(signal, &action, nullptr);
    }
}

}  // namespace zok
