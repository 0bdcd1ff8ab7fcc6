#pragma once

// The parts of the extension module _zok, over the library's public API only. Each part
// registers its functions and classes on the module; errors, paths and callbacks are converted
// here and nowhere else. The Python package zok (zok/*.py) wraps them for users.

#include <pybind11/pybind11.h>

#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "zok/error.h"
#include "zok/zok_file.h"

namespace zokpy {

namespace py = pybind11;

// A failure of the library on its way to Python: thrown by the bindings with the GIL held or
// not, and raised as zok.Error (or the subclass for its code) by the translator that
// RegisterErrors installs. An operation that met several failures (a build's inputs) throws
// them all: the first is raised, naming the others and listing them in its failures.
class LibraryError : public std::exception {
public:
    explicit LibraryError(zok::Error error) : m_errors{std::move(error)} {}
    // errors: not empty.
    explicit LibraryError(std::vector<zok::Error> errors) : m_errors(std::move(errors)) {}

    const std::vector<zok::Error>& Problems() const { return m_errors; }
    const char* what() const noexcept override { return zok::ErrorCodeName(m_errors[0].code); }

private:
    std::vector<zok::Error> m_errors;
};

// Throws LibraryError when error holds one (its code is not None).
inline void ThrowIfError(const zok::Error& error) {
    if (error) {
        throw LibraryError(error);
    }
}

// The zok.Error instance for error (not raised), for lists of problems. GIL held.
py::object MakeError(const zok::Error& error);

// A path as Python shows paths (os.fsdecode: undecodable bytes kept as surrogates), and text
// from the library (entry names, details) as str. GIL held.
py::str PathText(const std::string& path);
py::str Text(const std::string& text);

// An open archive, shared by the Python archive object and the streams opened from it: a
// stream keeps the file open after the archive object was closed.
using SharedArchive = std::shared_ptr<const zok::CZokFile>;

void RegisterErrors(py::module_& module);
void RegisterArchive(py::module_& module);
void RegisterEntryStream(py::module_& module);
void RegisterWriting(py::module_& module);

// The stream object over one entry (see entry_stream.cpp), for Archive.open.
py::object OpenEntryStream(SharedArchive archive, size_t index);

}  // namespace zokpy
