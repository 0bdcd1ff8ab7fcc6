#include <unistd.h>

#include <cerrno>
#include <new>

#include "archive/entry_output.h"
#include "archive/zok_directory.h"
#include "io/atomic_file.h"
#include "io/links.h"
#include "io/regular_file.h"
#include "zok/extract.h"
#include "zok/zok_file.h"

namespace zok {

namespace {

// Why the outputs may not be written, checked before anything is: an output that is the
// archive, both outputs one file, or (without overwrite) an output that exists.
Error RefusedOutputs(const ArchiveDirectory& dir, const std::string& bmpPath,
                     const std::string& alphaPath, bool overwrite) {
    for (const std::string* output : {&bmpPath, &alphaPath}) {
        if (output->empty()) {
            continue;
        }
        dev_t device = 0;
        ino_t inode = 0;
        if (FileIdentity(*output, &device, &inode) && device == dir.device && inode == dir.inode) {
            return MakeError(ErrorCode::OutputIsInput, *output);
        }
        std::string resolved;
        int error = 0;
        if (!FollowLinks(*output, &resolved, &error)) {
            return MakeError(ErrorCode::CannotWrite, *output, "", error);
        }
        if (!overwrite && NameTaken(resolved)) {
            return MakeError(ErrorCode::AlreadyExists, *output, "", EEXIST);
        }
    }
    if (!alphaPath.empty() && SameTarget(alphaPath, bmpPath)) {
        return MakeError(ErrorCode::OutputsCollide, alphaPath);
    }
    return Error();
}

}  // namespace

Error ExtractPicture(const CZokFile& archive, size_t index, const std::string& bmpPath,
                     const std::string& alphaPath, bool overwrite,
                     const std::atomic<bool>* cancel) {
    const ArchiveDirectory& dir = DirectoryOf(archive);
    const std::string entry = index < archive.Count() ? archive.Record(index).name : "";
    const auto named = [&](Error error) {
        if (error.entry.empty()) {
            error.entry = entry;
        }
        return error;
    };
    if (Error refused = RefusedOutputs(dir, bmpPath, alphaPath, overwrite)) {
        return named(std::move(refused));
    }
    try {
        AtomicFile bmp;
        AtomicFile pgm;
        Error error;
        if (!bmp.Create(bmpPath, &error) ||
            (!alphaPath.empty() && !pgm.Create(alphaPath, &error))) {
            return named(std::move(error));
        }
        error = WritePictureFiles(archive, index, ::fileno(bmp.Get()),
                                  alphaPath.empty() ? -1 : ::fileno(pgm.Get()), cancel, {});
        if (error) {
            if (error.code == ErrorCode::CannotWrite) {
                error.path = bmpPath;
            } else if (error.path.empty()) {
                error.path = dir.path;
            }
            return named(std::move(error));
        }
        if (!bmp.Commit(&error, true, overwrite)) {
            return named(std::move(error));
        }
        if (!alphaPath.empty() && !pgm.Commit(&error, true, overwrite)) {
            // Both or neither: the picture made a moment ago goes again, if it is still ours.
            dev_t device = 0;
            ino_t inode = 0;
            if (!overwrite && FileIdentity(bmpPath, &device, &inode) && device == bmp.Device() &&
                inode == bmp.Inode()) {
                std::string resolved;
                int ignored = 0;
                if (FollowLinks(bmpPath, &resolved, &ignored)) {
                    ::unlink(resolved.c_str());
                }
            }
            return named(std::move(error));
        }
    } catch (const std::bad_alloc&) {
        return named(MakeError(ErrorCode::OutOfMemory, dir.path));
    }
    return Error();
}

}  // namespace zok
