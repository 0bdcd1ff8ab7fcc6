// A build's problems as zok::Error, the one form the module raises. This is the only place that
// knows BuildProblem; when the build reports zok::Error itself, it shrinks to a pass-through.

#include "python/build_problems.h"

#include <sys/stat.h>

namespace zokpy {

namespace {

zok::ErrorCode CodeOf(const zok::BuildProblem& problem) {
    switch (problem.kind) {
        case zok::BuildProblemKind::CannotReadInput:
            return zok::ErrorCode::CannotOpen;
        case zok::BuildProblemKind::NotAFile:
            switch (problem.fileType & S_IFMT) {
                case S_IFDIR:
                    return zok::ErrorCode::IsAFolder;
                case S_IFIFO:
                    return zok::ErrorCode::IsAFifo;
                case S_IFSOCK:
                    return zok::ErrorCode::IsASocket;
                case S_IFCHR:
                case S_IFBLK:
                    return zok::ErrorCode::IsADevice;
                default:
                    return zok::ErrorCode::NotRegularFile;
            }
        case zok::BuildProblemKind::InputTooLarge:
            return zok::ErrorCode::FileTooLarge;
        case zok::BuildProblemKind::NameNotInCp949:
            return zok::ErrorCode::NameNotInCp949;
        case zok::BuildProblemKind::InputIsTheArchive:
            return zok::ErrorCode::InputIsOutput;
        case zok::BuildProblemKind::InputChanged:
            return zok::ErrorCode::FileChanged;
        case zok::BuildProblemKind::CannotWriteArchive:
            return zok::ErrorCode::CannotWrite;
        case zok::BuildProblemKind::ArchiveTooLarge:
            return zok::ErrorCode::ArchiveWouldBeTooLarge;
        case zok::BuildProblemKind::Cancelled:
            return zok::ErrorCode::Cancelled;
        case zok::BuildProblemKind::OutOfMemory:
            return zok::ErrorCode::OutOfMemory;
    }
    return zok::ErrorCode::CannotWrite;
}

}  // namespace

zok::Error BuildFailure(const zok::BuildReport& report) {
    if (report.problems.empty()) {
        // Failed without a structured problem: the archive could not be written.
        zok::Error error = zok::MakeError(zok::ErrorCode::CannotWrite);
        error.detail = report.error;
        return error;
    }
    const zok::BuildProblem& first = report.problems.front();
    return zok::MakeError(CodeOf(first), first.path, {}, first.errorNumber);
}

std::string BuildFailureText(const zok::BuildReport& report) {
    std::string text;
    for (const zok::BuildProblem& problem : report.problems) {
        text += (text.empty() ? "" : "\n") + zok::DescribeBuildProblem(problem);
    }
    return text.empty() ? report.error : text;
}

}  // namespace zokpy
