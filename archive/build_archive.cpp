#include "archive/build_archive.h"

#include <sys/stat.h>

#include <cerrno>

#include "archive/atomic_file.h"
#include "archive/codec_table.h"
#include "archive/directory_writer.h"
#include "archive/entry_writer.h"
#include "archive/file_handle.h"
#include "archive/names.h"

namespace {

bool Fail(BuildReport& report, std::string message) {
    report.error = std::move(message);
    return false;
}

// Opens an input for reading only; refuses folders and other non-regular files.
FileHandle OpenInput(const std::string& path, std::string* error) {
    FileHandle input = FileHandle::Open(path, "rb");
    if (!input) {
        *error = path + ": " + SystemReason(errno);
        return input;
    }
    struct stat st {};
    if (::fstat(::fileno(input.Get()), &st) != 0) {
        *error = path + ": " + SystemReason(errno);
        input.Reset();
    } else if (S_ISDIR(st.st_mode)) {
        *error = path + ": is a folder, not a file";
        input.Reset();
    } else if (!S_ISREG(st.st_mode)) {
        *error = path + ": is not a regular file";
        input.Reset();
    }
    return input;
}

}  // namespace

bool BuildArchive(const std::vector<std::string>& paths, const std::string& outputPath,
                  ProgressCallback callback, BuildReport* reportOut) {
    BuildReport localReport;
    BuildReport& report = reportOut != nullptr ? *reportOut : localReport;
    report = BuildReport();

    const CCodecTable codecs;
    // The directory as it goes to disk: names converted to CP949 before anything is written.
    std::vector<EntryRecord> records(paths.size());
    uint64_t nameBytes = 0;
    for (size_t i = 0; i < paths.size(); ++i) {
        std::optional<std::string> name = Utf8ToCp949(BaseName(paths[i]));
        if (!name) {
            return Fail(report, paths[i] +
                                    ": the file name cannot be written in the archive's "
                                    "Korean (CP949) character set");
        }
        nameBytes += name->size();
        records[i].name = std::move(*name);
    }
    const uint64_t headerSize = DirectorySize(paths.size(), nameBytes);
    if (headerSize > uint64_t(kMaxZokFileSize)) {
        return Fail(report, outputPath + ": the directory would reach 2 GiB");
    }

    AtomicFile output;
    std::string error;
    if (!output.Create(outputPath, &error)) {
        return Fail(report, error);
    }
    FILE* out = output.Get();
    {
        // Reserve the header and directory; they are written last.
        const std::string reservation(size_t(headerSize), '\0');
        if (std::fwrite(reservation.data(), 1, reservation.size(), out) != reservation.size()) {
            return Fail(report, outputPath + ": " + SystemReason(errno));
        }
    }

    uint32_t bytesDone = 0;
    for (size_t i = 0; i < paths.size(); ++i) {
        FileHandle input = OpenInput(paths[i], &error);
        if (!input) {
            return Fail(report, error);
        }
        const EntryWriteStatus status =
            WriteEntry(codecs, input.Get(), paths[i], out, records[i], paths[i], &error);
        input.Reset();
        if (status == EntryWriteStatus::Failed) {
            return Fail(report, error);
        }
        if (status == EntryWriteStatus::Unencoded) {
            report.unencoded.push_back(paths[i]);
        }
        if (callback != nullptr) {
            bytesDone += records[i].sourceSize;
            callback(static_cast<int32_t>(i + 1), bytesDone, static_cast<uint32_t>(ftello(out)));
        }
    }

    const std::string directory = SerializeDirectory(records);
    if (fseeko(out, 0, SEEK_SET) != 0 ||
        std::fwrite(directory.data(), 1, directory.size(), out) != directory.size()) {
        return Fail(report, outputPath + ": " + SystemReason(errno));
    }
    if (!output.Commit(&error)) {
        return Fail(report, error);
    }
    return true;
}

bool BuildArchive(const char* const* paths, const char* outputPath, int32_t count,
                  ProgressCallback callback, BuildReport* report) {
    std::vector<std::string> list;
    list.reserve(count > 0 ? size_t(count) : 0);
    for (int32_t i = 0; i < count; ++i) {
        list.emplace_back(paths[i]);
    }
    return BuildArchive(list, outputPath != nullptr ? outputPath : "", callback, report);
}
