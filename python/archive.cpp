// The archive object of _zok: one CZokFile, its directory, its entries read whole, as pictures,
// as streams (entry_stream.cpp), extracted into a folder and checked. Every long operation runs
// with the GIL released, so that threads of the caller can read entries at once.

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "python/bindings.h"
#include "zok/check.h"
#include "zok/extract.h"

namespace zokpy {

namespace {

// What Archive.extract hands back: the names written (or replaced), and the failures.
struct ExtractOutcome {
    std::vector<std::string> written;
    std::vector<zok::Error> failures;
    bool cancelled = false;
};

class Archive {
public:
    Archive(const std::string& path, std::optional<uint64_t> pictureLimit) {
        py::gil_scoped_release unlocked;
        auto file = std::make_shared<zok::CZokFile>(path);
        if (pictureLimit) {
            file->SetPictureLimit(*pictureLimit);
        }
        m_file = std::move(file);
    }

    void Close() { m_file.reset(); }
    bool Closed() const { return m_file == nullptr; }

    // The open file for one operation; it stays open until the operation ends, even when
    // another thread closes the archive meanwhile.
    SharedArchive File() const {
        if (!m_file) {
            throw py::value_error("I/O operation on a closed archive");
        }
        return m_file;
    }

    // Checks an entry position (Python's negative positions are resolved by the package).
    size_t Entry(const SharedArchive& file, size_t index) const {
        if (index >= file->Count()) {
            zok::Error error = zok::MakeError(zok::ErrorCode::NoSuchEntry, file->Path());
            error.number = index;
            throw LibraryError(error);
        }
        return index;
    }

    py::tuple Describe(size_t index) const {
        const SharedArchive file = File();
        const zok::EntryDescription d = file->Describe(Entry(file, index));
        return py::make_tuple(Text(d.name), int(d.kind), zok::ContentKindName(d.content), d.offset,
                              d.sourceSize, d.storedSize, d.contentSize, d.picture, d.holdsData);
    }

    py::bytes Read(size_t index) const {
        const SharedArchive file = File();
        const std::unique_ptr<zok::EntryReader> reader = file->OpenEntry(Entry(file, index));
        ThrowIfError(reader->Problem());
        // The content goes straight into the bytes object that Python receives: one copy.
        PyObject* bytes = PyBytes_FromStringAndSize(nullptr, Py_ssize_t(reader->Size()));
        if (bytes == nullptr) {
            throw py::error_already_set();
        }
        py::bytes result = py::reinterpret_steal<py::bytes>(bytes);
        char* data = PyBytes_AS_STRING(bytes);
        {
            py::gil_scoped_release unlocked;
            // Read until the reader gives nothing more: only then has it proven the entry.
            const uint64_t size = reader->Size();
            uint64_t done = 0;
            for (;;) {
                uint8_t spare = 0;
                const size_t got = done < size ? reader->Read(data + done, size_t(size - done))
                                               : reader->Read(&spare, 1);
                if (got == 0 || done == size) {
                    break;
                }
                done += got;
            }
        }
        if (!reader->Complete()) {
            ThrowIfError(reader->Problem());
            throw LibraryError(zok::MakeError(zok::ErrorCode::DataCutShort, file->Path(),
                                              file->Describe(index).name));
        }
        return result;
    }

    py::array_t<uint8_t> Picture(size_t index) const {
        const SharedArchive file = File();
        auto picture = std::make_unique<zok::Picture>();
        {
            py::gil_scoped_release unlocked;
            ThrowIfError(file->DecodePictureAt(Entry(file, index), picture.get()));
        }
        // The array takes over the library's buffer, which is the picture's only copy.
        const std::vector<py::ssize_t> shape{py::ssize_t(picture->height),
                                             py::ssize_t(picture->width),
                                             py::ssize_t(picture->channels)};
        const std::vector<py::ssize_t> strides{py::ssize_t(picture->stride),
                                               py::ssize_t(picture->channels), 1};
        uint8_t* pixels = picture->pixels.data();
        py::capsule owner(picture.get(),
                          [](void* held) { delete static_cast<zok::Picture*>(held); });
        picture.release();
        return py::array_t<uint8_t>(shape, strides, pixels, owner);
    }

    ExtractOutcome Extract(const std::string& folder, const std::vector<size_t>& indices,
                           bool overwrite, unsigned jobs) const {
        const SharedArchive file = File();
        for (const size_t index : indices) {
            Entry(file, index);
        }
        ExtractOutcome outcome;
        py::gil_scoped_release unlocked;
        zok::Extraction extraction(*file);
        ThrowIfError(extraction.Plan(folder, indices));
        extraction.Decide(overwrite ? zok::ExistingFiles::Replace : zok::ExistingFiles::Keep);
        zok::ExtractOptions options;
        options.threads = jobs;
        const zok::ExtractResult result = extraction.Run(options);
        const std::vector<zok::ExtractItem>& items = extraction.Items();
        for (size_t i = 0; i < result.items.size(); ++i) {
            const zok::ItemResult& item = result.items[i];
            if (item.status == zok::ItemStatus::Written ||
                item.status == zok::ItemStatus::Replaced) {
                outcome.written.push_back(items[i].name);
            } else if (item.status == zok::ItemStatus::Failed) {
                outcome.failures.push_back(item.error);
            }
        }
        outcome.cancelled = result.cancelled;
        return outcome;
    }

    // Every entry that is not sound, with why, in directory order.
    std::vector<zok::Error> Check(unsigned jobs) const {
        const SharedArchive file = File();
        std::vector<zok::Error> problems;
        py::gil_scoped_release unlocked;
        zok::CheckOptions options;
        options.threads = jobs;
        options.onEntry = [&problems](size_t, const zok::Error& problem) {
            if (problem) {
                problems.push_back(problem);
            }
        };
        zok::CheckArchive(*file, options);
        return problems;
    }

private:
    std::shared_ptr<zok::CZokFile> m_file;
};

py::list Errors(const std::vector<zok::Error>& errors) {
    py::list list;
    for (const zok::Error& error : errors) {
        list.append(MakeError(error));
    }
    return list;
}

}  // namespace

void RegisterArchive(py::module_& module) {
    py::class_<Archive>(module, "Archive", "An open ZOK archive (wrapped by zok.Archive).")
        .def(py::init<const std::string&, std::optional<uint64_t>>(), py::arg("path"),
             py::arg("picture_limit") = py::none())
        .def("close", &Archive::Close)
        .def_property_readonly("closed", &Archive::Closed)
        .def_property_readonly("count", [](const Archive& a) { return a.File()->Count(); })
        .def_property_readonly("version",
                               [](const Archive& a) { return std::string(a.File()->Version()); })
        .def_property_readonly("needs_upgrade",
                               [](const Archive& a) { return a.File()->NeedsUpgrade(); })
        .def_property_readonly("path", [](const Archive& a) { return PathText(a.File()->Path()); })
        .def_property_readonly("picture_limit",
                               [](const Archive& a) { return a.File()->PictureLimit(); })
        .def("describe", &Archive::Describe, py::arg("index"))
        .def(
            "find", [](const Archive& a, const std::string& name) { return a.File()->Find(name); },
            py::arg("name"))
        .def(
            "find_all",
            [](const Archive& a, const std::string& pattern) { return a.File()->FindAll(pattern); },
            py::arg("pattern"))
        .def("read", &Archive::Read, py::arg("index"))
        .def(
            "open",
            [](const Archive& a, size_t index) {
                const SharedArchive file = a.File();
                return OpenEntryStream(file, a.Entry(file, index));
            },
            py::arg("index"))
        .def("picture", &Archive::Picture, py::arg("index"))
        .def(
            "extract",
            [](const Archive& a, const std::string& folder, const std::vector<size_t>& indices,
               bool overwrite, unsigned jobs) {
                const ExtractOutcome outcome = a.Extract(folder, indices, overwrite, jobs);
                py::list written;
                for (const std::string& name : outcome.written) {
                    written.append(Text(name));
                }
                return py::make_tuple(written, Errors(outcome.failures));
            },
            py::arg("folder"), py::arg("indices"), py::arg("overwrite"), py::arg("jobs"))
        .def(
            "check", [](const Archive& a, unsigned jobs) { return Errors(a.Check(jobs)); },
            py::arg("jobs"));
}

}  // namespace zokpy
