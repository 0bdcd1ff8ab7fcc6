#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/create_inputs.h"
#include "cli/error_words.h"
#include "cli/output.h"
#include "cli/progress_bar.h"
#include "job/scratch_folder.h"
#include "job/unnamed_file.h"
#include "zok/build_archive.h"
#include "zok/zok_error.h"

using namespace zok;

namespace {

struct CreateRequest {
    std::string archive;
    std::vector<std::string> files;
    unsigned threads = 0;
    bool allowDuplicateNames = false;
    Verbosity verbosity = Verbosity::Normal;
};

// Reports every problem found before anything is written; returns the exit status, or -1 when
// there is none and the build may go on.
int RefuseProblems(const CreateInputs& inputs, const std::string& target, bool allowDuplicates) {
    if (allowDuplicates) {
        for (const Error& clash : inputs.clashes) {
            Warn(DescribeError(clash) + "; only the first can be found by name");
        }
    }
    if (inputs.Problems().empty() && (inputs.clashes.empty() || allowDuplicates)) {
        return -1;
    }
    // The build checks its inputs itself and names each problem; they are asked for apart only
    // to go with the folders that could not be walked and the names that clash.
    std::vector<std::string> problems;
    for (const Error& problem : inputs.Problems()) {
        problems.push_back(DescribeError(problem));
    }
    for (const Error& problem : CheckBuildInputs(inputs.Files(), target)) {
        problems.push_back(DescribeError(problem));
    }
    const bool failed = !problems.empty();
    for (const Error& clash : inputs.clashes) {
        if (!allowDuplicates) {
            problems.push_back(DescribeError(clash));
        }
    }
    if (problems.empty()) {
        return -1;
    }
    problems.back() += failed ? " (nothing was written)"
                              : " (nothing was written: the archive holds file names only; "
                                "rename one, or use --allow-duplicate-names)";
    for (const std::string& problem : problems) {
        ReportError(problem);
    }
    return failed ? kExitFailure : kExitUsage;
}

// Copies the archive built at path to the standard output.
bool SendToStandardOutput(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    Error error;
    const bool sent = fd >= 0 && CopyWholeFile(fd, STDOUT_FILENO, &error);
    if (fd < 0) {
        error = MakeError(ErrorCode::CannotRead, path, "", errno);
    } else {
        ::close(fd);
    }
    if (!sent) {
        if (error.code == ErrorCode::CannotWrite) {
            error.path = "standard output";
        }
        ReportError(DescribeError(error));
    }
    return sent;
}

int RunCreate(const CreateRequest& request) {
    const bool toStdout = request.archive == "-";
    if (toStdout && ::isatty(STDOUT_FILENO) == 1) {
        ReportError(
            "refusing to write an archive to a terminal; redirect the standard output or name a "
            "file (zok help create)");
        return kExitUsage;
    }
    // To the standard output: built in a scratch folder first, since the directory comes first.
    ScratchFolder scratch;
    std::string target = request.archive;
    if (toStdout) {
        Error error;
        if (!scratch.Create(&error)) {
            ReportError("cannot make a temporary folder: " + DescribeError(error));
            return kExitFailure;
        }
        target = scratch.File("archive.zok");
    }
    CreateInputs inputs = GatherCreateInputs(request.files, toStdout ? "" : target);
    for (const std::string& warning : inputs.warnings) {
        Warn(warning);
    }
    // Every problem is named before anything is written, so that all can be mended at once.
    if (const int refused = RefuseProblems(inputs, target, request.allowDuplicateNames);
        refused >= 0) {
        return refused;
    }

    const bool quiet = request.verbosity == Verbosity::Quiet;
    const bool verbose = request.verbosity == Verbosity::Verbose;
    ProgressBar bar("packing", 0, !quiet);
    BuildOptions options;
    options.threads = request.threads;
    const std::vector<std::string>& files = inputs.Files();
    const size_t count = files.size();
    uint64_t packed = 0;
    options.progress = [&](const BuildProgress& p) {
        packed = p.bytesDone;
        if (verbose && p.fileDone && p.filesDone > 0 && size_t(p.filesDone) <= count) {
            bar.Clear();
            // Names go beside the archive, never into it.
            const std::string& name = files[size_t(p.filesDone) - 1];
            toStdout ? SayOnStderr(name) : Say(name);
        }
        bar.Update(p.bytesRead, p.bytesTotal,
                   std::to_string(p.filesDone) + " / " + std::to_string(count));
    };
    BuildReport report;
    bool ok = false;
    try {
        ok = BuildArchive(inputs.set, target, nullptr, &report, options);
    } catch (const ZokError& e) {
        bar.Finish();
        // A codec's exception names the input it met, not the archive.
        Error problem = e.Problem();
        problem.path = report.currentInput.empty() ? target : report.currentInput;
        ReportError(DescribeError(problem) + " (nothing was written)");
        return kExitFailure;
    }
    if (!ok) {
        bar.Finish();
        for (size_t i = 0; i < report.problems.size(); ++i) {
            const bool last = i + 1 == report.problems.size();
            ReportError(DescribeError(report.problems[i]) + (last ? " (nothing was written)" : ""));
        }
        return kExitFailure;
    }
    if (toStdout && !SendToStandardOutput(target)) {
        return kExitFailure;
    }
    struct stat st {};
    const uint64_t written = ::stat(target.c_str(), &st) == 0 ? uint64_t(st.st_size) : 0;
    bar.Finish("packed " + Counted(count, "file", "files") + ", " + HumanBytes(packed) + " into " +
               HumanBytes(written));
    for (const std::string& path : report.unencoded) {
        ReportError(path + ": could not be encoded; stored as an empty entry");
    }
    return report.unencoded.empty() ? kExitOk : kExitPartial;
}

}  // namespace

void RegisterCreateCommand(CLI::App& app, CommandAction& action) {
    auto* cmd = app.add_subcommand("create", "Build ARCHIVE from the FILEs, in that order");
    auto request = std::make_shared<CreateRequest>();
    cmd->add_option("ARCHIVE", request->archive,
                    "The archive to write; an existing file is replaced only when the new one "
                    "is complete, keeping its permissions (a symbolic link is followed). - "
                    "writes it to the standard output (never to a terminal): it is built in a "
                    "temporary folder in $TMPDIR or /tmp first, since the directory comes first")
        ->required();
    cmd->add_option("FILE", request->files,
                    "Input files or folders (walked: their files in sorted order). BMP and PNG "
                    "pictures become PNG entries, names ending in \"old\" are stored unchanged, "
                    "everything else is deflated")
        ->required();
    cmd->add_option("-j,--jobs", request->threads,
                    "Encode N files at a time (default: one per core); the archive is the "
                    "same for every N")
        ->type_name("N")
        ->check(CLI::Range(1u, 1024u));
    cmd->add_flag("--allow-duplicate-names", request->allowDuplicateNames,
                  "Pack files whose names an earlier file has (letter case ignored) with a "
                  "warning: only the first of them can be found by name");
    AddVerbosityOptions(*cmd, request->verbosity,
                        "Name each input as it is packed (on the standard error when the "
                        "archive goes to the standard output)");
    cmd->footer(
        "The archive holds file names only: a folder's files are flattened, and inputs that\n"
        "give one name twice (letter case ignored) are each named and nothing is written,\n"
        "unless --allow-duplicate-names is given.\n"
        "Every input is checked first and every problem named; an input that is the archive\n"
        "itself is skipped when it is a ZOK archive (the `*` habit) and refused otherwise.\n"
        "Exit status: 0 written; 1 failed, nothing written; 2 usage error, or names that\n"
        "clash; 3 written, but some entries could not be encoded (named on stderr).");
    cmd->callback([&action, request] { action = [request] { return RunCreate(*request); }; });
}
