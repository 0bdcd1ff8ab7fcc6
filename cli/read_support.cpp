#include "cli/read_support.h"

#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

#include <new>
#include <unordered_set>

#include "cli/error_words.h"
#include "job/unnamed_file.h"
#include "zok/names.h"

using namespace zok;

namespace {

// The largest archive the format can describe: a longer stream is refused while it is copied.
constexpr uint64_t kLargestArchive = 0x7FFFFFFF;

// The archive on the standard input: a regular file is read in place, a pipe is copied whole
// into an unnamed temporary file first.
std::unique_ptr<CZokFile> OpenStandardInput() {
    if (::isatty(STDIN_FILENO) == 1) {
        ReportError(std::string(kStandardInputName) +
                    ": is a terminal; pipe an archive in, or name the file");
        return nullptr;
    }
    struct stat st {};
    if (::fstat(STDIN_FILENO, &st) == 0 && S_ISREG(st.st_mode)) {
        return std::make_unique<CZokFile>(STDIN_FILENO, kStandardInputName);
    }
    UnnamedFile spool;
    Error error;
    if (!spool.Create(&error) || !spool.CopyFrom(STDIN_FILENO, kLargestArchive, &error)) {
        if (error.code == ErrorCode::CannotWrite) {
            ReportError(std::string(kStandardInputName) +
                        ": cannot copy it into a temporary file in " + error.path + ": " +
                        std::strerror(error.errorNumber != 0 ? error.errorNumber : EIO));
        } else {
            error.path = kStandardInputName;
            ReportError(DescribeError(error));
        }
        return nullptr;
    }
    return std::make_unique<CZokFile>(spool.Fd(), kStandardInputName);
}

}  // namespace

std::unique_ptr<CZokFile> OpenArchive(const std::string& path, uint64_t maxPixels) {
    try {
        auto zok = path == "-" ? OpenStandardInput() : std::make_unique<CZokFile>(path);
        if (zok && maxPixels != 0) {
            zok->SetPictureLimit(maxPixels);
        }
        return zok;
    } catch (const ZokError& e) {
        std::string line = DescribeError(e.Problem());
        if (e.Problem().code == ErrorCode::IsAFifo) {
            line += " (an archive is read from a pipe only as -, the standard input)";
        }
        ReportError(line);
    } catch (const std::bad_alloc&) {
        ReportError(DescribeError(MakeError(ErrorCode::OutOfMemory, path)));
    }
    return nullptr;
}

std::optional<size_t> FindEntry(const CZokFile& zok, const std::string& name) {
    std::optional<size_t> index = zok.Find(name);
    if (!index) {
        ReportError(DescribeError(MakeError(ErrorCode::NoSuchEntry, zok.Path(), name)));
    }
    return index;
}

std::vector<size_t> FindEntries(const CZokFile& zok, const std::vector<std::string>& names,
                                bool* allFound) {
    std::vector<size_t> found;
    std::unordered_set<size_t> taken;
    for (const std::string& name : names) {
        const std::vector<size_t> matches = zok.FindAll(name);
        if (matches.empty()) {
            const ErrorCode code = HasWildcards(name) ? ErrorCode::NoMatch : ErrorCode::NoSuchEntry;
            ReportError(DescribeError(MakeError(code, zok.Path(), name)));
            *allFound = false;
        }
        for (const size_t index : matches) {
            if (taken.insert(index).second) {
                found.push_back(index);
            }
        }
    }
    return found;
}

ArchiveEntry OpenArchiveEntry(const std::string& path, const std::string& name,
                              uint64_t maxPixels) {
    ArchiveEntry found;
    std::unique_ptr<CZokFile> zok = OpenArchive(path, maxPixels);
    if (zok) {
        if (const std::optional<size_t> index = FindEntry(*zok, name)) {
            found.index = *index;
            found.archive = std::move(zok);
        }
    }
    return found;
}

std::string EntryLabel(const CZokFile& zok, size_t index) {
    return zok.Path() + ": entry \"" + zok.Record(index).name + "\"";
}

std::string EntryMessage(const CZokFile& zok, const std::string& entry, const Error& error,
                         bool canSkip) {
    std::string line = zok.Path() + ": entry \"" + entry + "\": ";
    if (!error.path.empty() && error.path != zok.Path()) {
        line += error.path + ": ";
    }
    line += ErrorReason(error);
    if (error.code == ErrorCode::AlreadyExists) {
        line += canSkip ? " (use --overwrite to replace it, or --skip-existing to keep it)"
                        : " (use --overwrite to replace it)";
    }
    return line;
}
