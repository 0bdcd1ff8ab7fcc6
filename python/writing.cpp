// The operations that write archives: create, update and upgrade, each the library's own, with the
// caller's progress and cancel carried by ProgressBridge. Every one returns the same report
// (a dict that zok.Report is made from), so that another such operation is one function more.

#include <pybind11/stl.h>

#include <memory>
#include <string>
#include <vector>

#include "python/bindings.h"
#include "python/progress_bridge.h"
#include "zok/build_archive.h"
#include "zok/inputs.h"
#include "zok/update.h"
#include "zok/upgrade_archive.h"

namespace zokpy {

namespace {

// What an operation that wrote an archive tells: where it went, the entries left empty
// (could not be encoded) and, for an upgrade, what it carried over and kept.
py::dict WriteReport(const std::string& output, const std::vector<std::string>& unencoded,
                     ProgressBridge::Names unencodedAre,
                     const std::vector<std::string>& carriedEmpty = {},
                     const std::string& keptBackup = {}) {
    py::list left;
    for (const std::string& name : unencoded) {
        left.append(unencodedAre == ProgressBridge::Names::Paths ? PathText(name) : Text(name));
    }
    py::list carried;
    for (const std::string& name : carriedEmpty) {
        carried.append(Text(name));
    }
    py::dict report;
    report["output"] = PathText(output);
    report["unencoded"] = left;
    report["carried_empty"] = carried;
    report["kept_backup"] = keptBackup.empty() ? py::object(py::none()) : PathText(keptBackup);
    return report;
}

// The files that named files and folders give, as zok create walks them and opened for the one
// build that reads them; a folder that cannot be read whole, or (unless allowed) two files of
// one entry name, is refused before anything is written. GIL held.
zok::InputSet InputSetOf(const std::vector<std::string>& named, bool allowDuplicates) {
    std::unique_ptr<zok::InputSet> set;
    std::vector<zok::Error> clashes;
    {
        py::gil_scoped_release unlocked;
        set = std::make_unique<zok::InputSet>(named);
        if (!allowDuplicates) {
            clashes = zok::FindNameClashes(set->Files().files);
        }
    }
    if (!set->Files().problems.empty()) {
        throw LibraryError(set->Files().problems);
    }
    if (!clashes.empty()) {
        throw LibraryError(clashes);
    }
    return std::move(*set);
}

const char* ActionWord(zok::UpdateAction action) {
    switch (action) {
        case zok::UpdateAction::Kept:
            return "kept";
        case zok::UpdateAction::Replaced:
            return "replaced";
        case zok::UpdateAction::Added:
            return "added";
        case zok::UpdateAction::Deleted:
            return "deleted";
        case zok::UpdateAction::Unchanged:
            return "unchanged";
    }
    return "kept";
}

py::dict Create(const std::string& output, const std::vector<std::string>& named, unsigned jobs,
                bool allowDuplicates, py::object progress, py::object cancel) {
    zok::InputSet set = InputSetOf(named, allowDuplicates);
    const std::vector<std::string>& paths = set.Files().files;
    ProgressBridge bridge(std::move(progress), std::move(cancel), ProgressBridge::Names::Paths);
    zok::BuildReport report;
    bool written = false;
    {
        py::gil_scoped_release unlocked;
        zok::BuildOptions options;
        options.threads = jobs;
        options.cancel = bridge.Flag();
        if (!bridge.Idle()) {
            options.progress = [&](const zok::BuildProgress& p) {
                // The input being packed, or the one just finished.
                const size_t at = size_t(p.filesDone) - (p.fileDone ? 1 : 0);
                bridge.Report(p.bytesRead, p.bytesTotal, at < paths.size() ? paths[at] : output);
            };
        }
        try {
            written = zok::BuildArchive(set, output, nullptr, &report, options);
        } catch (const zok::ZokError& failure) {
            // A codec's failure: it concerns the input being encoded.
            zok::Error problem = failure.Problem();
            if (problem.path.empty()) {
                problem.path = report.currentInput;
            }
            throw LibraryError(problem);
        }
    }
    bridge.RaiseCallerError();
    if (!written) {
        // Every problem found, each naming its file; the build checks all inputs first.
        if (report.problems.empty()) {
            throw LibraryError(zok::MakeError(zok::ErrorCode::CannotWrite, output));
        }
        throw LibraryError(report.problems);
    }
    return WriteReport(output, report.unencoded, ProgressBridge::Names::Paths);
}

// None when the archive is current already (nothing written).
py::object Upgrade(const std::string& path, const std::string& output, bool inPlace, bool overwrite,
                   py::object progress, py::object cancel) {
    ProgressBridge bridge(std::move(progress), std::move(cancel), ProgressBridge::Names::Entries);
    zok::UpgradeReport report;
    zok::UpgradeResult result = zok::UpgradeResult::Done;
    {
        py::gil_scoped_release unlocked;
        zok::UpgradeOptions options;
        options.outputPath = output;
        options.replaceExisting = overwrite;
        options.cancel = bridge.Flag();
        // The names and content sizes of the entries, for progress.
        std::vector<std::string> names;
        uint64_t total = 0;
        if (!bridge.Idle()) {
            const zok::CZokFile old(path);
            for (size_t i = 0; i < old.Count(); ++i) {
                names.push_back(old.Describe(i).name);
                total += old.GetEntrySizeAt(i);
            }
            options.progress = [&](const zok::UpgradeProgress& p) {
                const size_t at = size_t(p.entriesDone) - (p.entryDone ? 1 : 0);
                bridge.Report(p.bytesRead, total, at < names.size() ? names[at] : std::string());
            };
        }
        result = zok::UpgradeArchive(path, inPlace, options, &report);
    }
    bridge.RaiseCallerError();
    if (result == zok::UpgradeResult::NotNeeded) {
        return py::none();
    }
    if (result != zok::UpgradeResult::Done) {
        zok::Error problem = report.problem;
        if (!problem) {
            problem = zok::MakeError(zok::ErrorCode::CannotWrite, path);
        }
        throw LibraryError(problem);
    }
    return WriteReport(report.outputPath, report.unencoded, ProgressBridge::Names::Entries,
                       report.carriedEmpty, report.keptBackup);
}

// Adds, replaces and deletes entries in place of the archive at path (or writing output).
py::dict Update(const std::string& path, const std::vector<std::string>& named,
                const std::vector<std::string>& deletions, bool onlyChanged, bool allowDuplicates,
                const std::string& output, bool overwrite, py::object progress, py::object cancel) {
    zok::InputSet set = InputSetOf(named, true);
    zok::UpdateOptions options;
    options.deletions = deletions;
    options.onlyChanged = onlyChanged;
    options.allowDuplicateNames = allowDuplicates;
    options.outputPath = output;
    options.replaceExisting = overwrite;
    ProgressBridge bridge(std::move(progress), std::move(cancel), ProgressBridge::Names::Entries);
    zok::UpdateReport report;
    bool written = false;
    {
        py::gil_scoped_release unlocked;
        options.cancel = bridge.Flag();
        if (!bridge.Idle()) {
            options.progress = [&](const zok::UpdateProgress& p) {
                bridge.Report(p.bytesDone, p.bytesTotal, p.current);
            };
        }
        written = zok::UpdateArchive(path, set, options, &report);
    }
    bridge.RaiseCallerError();
    if (!written) {
        if (report.problems.empty()) {
            throw LibraryError(zok::MakeError(zok::ErrorCode::CannotWrite, path));
        }
        throw LibraryError(report.problems);
    }
    py::dict result =
        WriteReport(output.empty() ? path : output, report.unencoded, ProgressBridge::Names::Paths);
    py::list changes;
    for (const zok::UpdatedEntry& entry : report.entries) {
        changes.append(py::make_tuple(Text(entry.name), ActionWord(entry.action)));
    }
    result["changes"] = changes;
    return result;
}

}  // namespace

void RegisterWriting(py::module_& module) {
    module.def("create", &Create, py::arg("output"), py::arg("paths"), py::arg("jobs"),
               py::arg("allow_duplicate_names"), py::arg("progress"), py::arg("cancel"));
    module.def("update", &Update, py::arg("path"), py::arg("paths"), py::arg("deletions"),
               py::arg("only_changed"), py::arg("allow_duplicate_names"), py::arg("output"),
               py::arg("overwrite"), py::arg("progress"), py::arg("cancel"));
    module.def("upgrade", &Upgrade, py::arg("path"), py::arg("output"), py::arg("in_place"),
               py::arg("overwrite"), py::arg("progress"), py::arg("cancel"));
}

}  // namespace zokpy
