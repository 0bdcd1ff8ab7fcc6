#include <sys/resource.h>

#include <algorithm>

#include "cli/commands.h"

namespace {

// A build reads each input through the descriptor that checked it, keeping up to half the
// descriptor limit (4096 at most) open: the soft limit (often 1024) is raised towards the hard
// one so that a few thousand named files are each opened once.
void RaiseDescriptorLimit() {
    constexpr rlim_t kWanted = 8192;
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < kWanted) {
        limit.rlim_cur = std::min(limit.rlim_max, kWanted);
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

}  // namespace

int main(int argc, char** argv) {
    RaiseDescriptorLimit();
    return RunZok(argc, argv);
}
