#include "cli/read_support.h"

#include <new>

#include "cli/error_words.h"

using namespace zok;

std::unique_ptr<CZokFile> OpenArchive(const std::string& path, uint64_t maxPixels) {
    try {
        auto zok = std::make_unique<CZokFile>(path);
        if (maxPixels != 0) {
            zok->SetPictureLimit(maxPixels);
        }
        return zok;
    } catch (const ZokError& e) {
        ReportError(DescribeError(e.Problem()));
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

std::string EntryMessage(const CZokFile& zok, const std::string& entry, const Error& error) {
    std::string line = zok.Path() + ": entry \"" + entry + "\": ";
    if (!error.path.empty() && error.path != zok.Path()) {
        line += error.path + ": ";
    }
    line += ErrorReason(error);
    if (error.code == ErrorCode::AlreadyExists) {
        line += " (use --overwrite to replace it)";
    }
    return line;
}
