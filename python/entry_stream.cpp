// One entry read in pieces for zok.EntryFile (an io.RawIOBase): the library's EntryReader
// writes straight into the caller's buffer, with the GIL released, so each byte is copied once.

#include <Python.h>

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <optional>

#include "python/bindings.h"

namespace zokpy {

namespace {

// A writable, contiguous buffer of a Python object, released when it goes.
class WritableBuffer {
public:
    explicit WritableBuffer(py::handle object) {
        if (PyObject_GetBuffer(object.ptr(), &m_view, PyBUF_WRITABLE) != 0) {
            throw py::error_already_set();
        }
    }
    ~WritableBuffer() { PyBuffer_Release(&m_view); }
    WritableBuffer(const WritableBuffer&) = delete;
    WritableBuffer& operator=(const WritableBuffer&) = delete;

    char* Data() const { return static_cast<char*>(m_view.buf); }
    size_t Size() const { return size_t(m_view.len); }

private:
    Py_buffer m_view{};
};

class EntryStream {
public:
    // Raises at once what the directory tells (holds no data, data past the end ...).
    EntryStream(SharedArchive file, size_t index)
        : m_file(std::move(file)), m_reader(m_file->OpenEntry(index)), m_size(m_reader->Size()) {
        ThrowIfError(m_reader->Problem());
    }

    // Fills buffer as far as the entry goes; 0 at its end. Raises the entry's damage when
    // nothing more comes and the entry was not proven whole and exact.
    size_t ReadInto(py::handle buffer) {
        const WritableBuffer target(buffer);
        if (target.Size() == 0) {
            return 0;
        }
        return Fill(target.Data(), target.Size());
    }

    // Up to size bytes (the rest when size is negative), as bytes; b"" at the end.
    py::bytes Read(py::ssize_t size) {
        if (size == 0) {
            return py::bytes();
        }
        const uint64_t left = m_size - Done();
        const size_t want = size < 0 ? size_t(left) : size_t(std::min<uint64_t>(left, size));
        PyObject* bytes = PyBytes_FromStringAndSize(nullptr, Py_ssize_t(want));
        if (bytes == nullptr) {
            throw py::error_already_set();
        }
        size_t got = 0;
        try {
            got = want > 0 ? Fill(PyBytes_AS_STRING(bytes), want) : 0;
            if (want == 0 || size < 0) {
                char spare = 0;
                Fill(&spare, 1);  // at the end: the entry proves itself or raises
            }
        } catch (...) {
            Py_DECREF(bytes);
            throw;
        }
        if (got < want && _PyBytes_Resize(&bytes, Py_ssize_t(got)) != 0) {
            throw py::error_already_set();
        }
        return py::reinterpret_steal<py::bytes>(bytes);
    }

    uint64_t Size() const { return m_size; }

    uint64_t Done() {
        py::gil_scoped_release unlocked;
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_reader ? m_reader->Done() : m_size;
    }

    void Close() {
        py::gil_scoped_release unlocked;
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_reader.reset();
        m_file.reset();
    }

    bool Closed() {
        py::gil_scoped_release unlocked;
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_reader == nullptr;
    }

private:
    size_t Fill(char* data, size_t capacity) {
        size_t done = 0;
        bool closed = false;
        std::optional<zok::Error> problem;
        {
            py::gil_scoped_release unlocked;
            const std::lock_guard<std::mutex> lock(m_mutex);
            if (!m_reader) {
                closed = true;
            } else {
                while (done < capacity) {
                    const size_t got = m_reader->Read(data + done, capacity - done);
                    if (got == 0) {
                        break;
                    }
                    done += got;
                }
                if (done == 0 && !m_reader->Complete()) {
                    problem = m_reader->Problem();
                    if (!*problem) {
                        problem = zok::MakeError(zok::ErrorCode::DataCutShort, m_file->Path());
                    }
                }
            }
        }
        if (closed) {
            throw py::value_error("I/O operation on a closed entry");
        }
        if (problem) {
            throw LibraryError(*problem);
        }
        return done;
    }

    SharedArchive m_file;
    std::unique_ptr<zok::EntryReader> m_reader;
    const uint64_t m_size;
    // One reader serves one thread at a time.
    std::mutex m_mutex;
};

}  // namespace

py::object OpenEntryStream(SharedArchive archive, size_t index) {
    return py::cast(std::make_unique<EntryStream>(std::move(archive), index));
}

void RegisterEntryStream(py::module_& module) {
    py::class_<EntryStream>(module, "EntryStream",
                            "One entry's content in pieces (wrapped by zok.EntryFile).")
        .def("readinto", &EntryStream::ReadInto, py::arg("buffer"))
        .def("read", &EntryStream::Read, py::arg("size") = -1)
        .def_property_readonly("size", &EntryStream::Size)
        .def_property_readonly("done", &EntryStream::Done)
        .def_property_readonly("closed", &EntryStream::Closed)
        .def("close", &EntryStream::Close);
}

}  // namespace zokpy
