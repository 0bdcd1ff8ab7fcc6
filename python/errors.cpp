// Errors on their way to Python: zok::Error (and the library's ZokError exceptions) become
// instances of zok.Error, built by the Python package (zok/_errors.py) so that its classes and
// wording live in one place.

#include <Python.h>

#include "python/bindings.h"
#include "zok/zok_error.h"

namespace zokpy {

py::str PathText(const std::string& path) {
    return py::reinterpret_steal<py::str>(
        PyUnicode_DecodeFSDefaultAndSize(path.data(), Py_ssize_t(path.size())));
}

py::str Text(const std::string& text) {
    PyObject* decoded =
        PyUnicode_DecodeUTF8(text.data(), Py_ssize_t(text.size()), "surrogateescape");
    if (decoded == nullptr) {
        throw py::error_already_set();
    }
    return py::reinterpret_steal<py::str>(decoded);
}

py::object MakeError(const zok::Error& error) {
    const py::object build = py::module_::import("zok._errors").attr("_from_library");
    return build(int(error.code), PathText(error.path), Text(error.entry), error.errorNumber,
                 error.number, error.other, Text(error.detail));
}

namespace {

// Sets the Python error for the failures of one operation; leaves the error that building it
// raised, if any.
void Raise(const std::vector<zok::Error>& errors) {
    try {
        py::list all;
        for (const zok::Error& error : errors) {
            all.append(MakeError(error));
        }
        const py::object exception = py::module_::import("zok._errors").attr("combine")(all);
        PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(exception.ptr())), exception.ptr());
    } catch (py::error_already_set& failure) {
        failure.restore();
    }
}

}  // namespace

void RegisterErrors(py::module_& module) {
    module.def(
        "error_codes",
        [] {
            py::list codes;
            for (unsigned value = 0; value < unsigned(zok::ErrorCode::EndOfCodes); ++value) {
                const char* name = zok::ErrorCodeName(zok::ErrorCode(value));
                if (std::string_view(name) != "unknown") {
                    codes.append(py::make_tuple(value, name));
                }
            }
            return codes;
        },
        "The library's error codes as (number, name) pairs, names as ErrorCodeName gives them.");

    py::register_exception_translator([](std::exception_ptr thrown) {
        try {
            if (thrown) {
                std::rethrow_exception(thrown);
            }
        } catch (const LibraryError& failure) {
            Raise(failure.Problems());
        } catch (const zok::ZokError& failure) {
            Raise({failure.Problem()});
        }
    });
}

}  // namespace zokpy
