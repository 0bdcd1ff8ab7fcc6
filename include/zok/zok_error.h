#pragma once

#include <stdexcept>
#include <string>

namespace zok {

// Failures of the archive layer; what() carries the message shown to the user unchanged.
class ZokError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace zok
