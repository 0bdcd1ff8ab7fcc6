#pragma once

#include <stdexcept>
#include <string>

#include "zok/error.h"
#include "zok/export.h"

namespace zok {

// The exception of the operations that raise one (opening an archive, the PNG codec through the
// picture operations, the upgrade). what() keeps the text those operations have always raised
// ("Cannot create ZOK File instance for file " + path, "Not a PNG", "error"); Problem() carries
// the same failure as a code with the file and entry it concerns, for programs that word it.
class ZOK_API ZokError : public std::runtime_error {
public:
    explicit ZokError(const std::string& what);
    ZokError(const std::string& what, Error problem);
    ~ZokError() override;

    const Error& Problem() const { return m_problem; }

private:
    Error m_problem;
};

}  // namespace zok
