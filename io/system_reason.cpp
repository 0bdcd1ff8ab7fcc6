#include "io/system_reason.h"

#include <cstring>

namespace zok {

std::string SystemReason(int errorNumber) {
    return std::strerror(errorNumber);
}

}  // namespace zok
