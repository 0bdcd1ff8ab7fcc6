#include "zok/upgrade_archive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <new>
#include <vector>

#include "archive/entry_kinds.h"
#include "archive/entry_writer.h"
#include "archive/upgrade_files.h"
#include "archive/zok_writer.h"
#include "codecs/codec_table.h"
#include "io/atomic_file.h"
#include "io/file_handle.h"
#include "io/input_file.h"
#include "io/names.h"
#include "io/regular_file.h"
#include "io/system_reason.h"
#include "zok/zok_error.h"
#include "zok/zok_file.h"

namespace zok {

namespace {

constexpr size_t kPieceSize = 1 << 20;

class Upgrade {
public:
    Upgrade(const std::string& path, bool inPlace, const UpgradeOptions& options,
            UpgradeReport& report)
        : m_path(path), m_inPlace(inPlace), m_options(options), m_report(report) {}

    int32_t Run();
    // Run, with running out of memory reported as such (nothing written, nothing changed).
    int32_t RunGuarded() {
        try {
            return Run();
        } catch (const std::bad_alloc&) {
            return Stop(kUpgradeNoNewArchive, MakeError(ErrorCode::OutOfMemory, m_path));
        }
    }

private:
    int32_t Stop(int32_t code, Error problem) {
        m_report.problem = std::move(problem);
        return code;
    }
    int32_t Cancelled() { return Stop(kUpgradeCancelled, MakeError(ErrorCode::Cancelled, m_path)); }
    bool CancelSet() const { return m_options.cancel != nullptr && m_options.cancel->load(); }
    int32_t CopyEntry(const CZokFile& old, size_t index, ZokWriter& writer);
    int32_t Commit(ZokWriter& writer);
    void Report(bool entryDone, uint64_t archiveSize);

    const std::string& m_path;
    const bool m_inPlace;
    const UpgradeOptions& m_options;
    UpgradeReport& m_report;
    std::string m_target;
    const CCodecTable m_codecs;
    ScratchFile m_scratch;
    UpgradeProgress m_progress;
    uint64_t m_reported = 0;
};

void Upgrade::Report(bool entryDone, uint64_t archiveSize) {
    m_progress.archiveSize = archiveSize;
    m_progress.entryDone = entryDone;
    if (m_options.progress && (entryDone || m_progress.bytesRead - m_reported >= kPieceSize)) {
        m_reported = m_progress.bytesRead;
        m_options.progress(m_progress);
    }
}

int32_t Upgrade::CopyEntry(const CZokFile& old, size_t i, ZokWriter& writer) {
    const EntryRecord from = old.Record(i);
    const std::string label = m_path + ": entry \"" + from.name + "\"";
    Error problem{};
    if (!writer.BeginEntry(i, label, &problem)) {
        return Stop(kUpgradeNoNewArchive, problem);
    }
    // A PNG stream goes back through the PNG codec whatever its name; every other entry
    // through the codec its stored name selects, as the builder does.
    const EntryKindRule& rule =
        from.kind == EntryKind::PngStream ? RuleForKindName("png") : WriteRuleFor(old.RawName(i));
    if (old.HoldsNoData(i)) {
        // Left empty when the old archive was built: it stays an empty entry.
        m_report.carriedEmpty.push_back(from.name);
        return writer.EndEntry(i, writer.End(), from.sourceSize, 0, rule.kind, label, &problem)
                   ? kUpgradeDone
                   : Stop(kUpgradeNoNewArchive, problem);
    }
    if (Error damage = old.EntryProblem(i)) {
        return Stop(kUpgradeEntryUnreadable, std::move(damage));
    }
    Error error;
    // The scratch file lies beside the new archive: its folder is the one that must be
    // writable, not the old archive's.
    if (!m_scratch.IsOpen() && !m_scratch.Create(m_target, &error)) {
        return Stop(kUpgradeNoTempFile, std::move(error));
    }
    // Each record is copied by its position, so entries sharing a name keep their own data;
    // the content passes through the scratch file in pieces, never whole in memory.
    Error damage;
    const auto onRead = [this, &writer](uint64_t bytes) {
        m_progress.bytesRead += bytes;
        Report(false, writer.End());
        return !CancelSet();
    };
    if (!m_scratch.Fill(*old.OpenEntry(i), onRead, &damage, &error)) {
        if (CancelSet()) {
            return Cancelled();
        }
        return !damage ? Stop(kUpgradeNoTempFile, std::move(error))
                       : Stop(kUpgradeEntryUnreadable, std::move(damage));
    }
    InputFile input;
    if (!input.Adopt(m_scratch.Get(), label, &problem)) {
        return Stop(kUpgradeNoTempFile, problem);
    }
    input.SetCancel(m_options.cancel);
    EntryRecord record;
    m_report.currentEntry = from.name;
    const EntryWriteStatus status =
        EncodeInput(m_codecs, input, rule, writer.Stream(), record, &problem);
    m_report.currentEntry.clear();
    if (status == EntryWriteStatus::Failed) {
        switch (problem.code) {
            case ErrorCode::Cancelled:
                return Cancelled();
            case ErrorCode::CannotWrite:
                if (problem.path.empty()) {
                    problem.path = m_target;
                }
                return Stop(kUpgradeNoNewArchive, problem);
            default: {
                Error error = problem;
                error.path = m_path;
                error.entry = from.name;
                return Stop(kUpgradeNoTempFile, std::move(error));
            }
        }
    }
    if (!writer.EndEntry(i, writer.StreamPosition(), record.sourceSize, record.storedSize,
                         record.kind, label, &problem)) {
        return Stop(kUpgradeNoNewArchive, problem);
    }
    if (status == EntryWriteStatus::Unencoded) {
        m_report.unencoded.push_back(from.name);
    }
    return kUpgradeDone;
}

int32_t Upgrade::Commit(ZokWriter& writer) {
    const std::string& target = m_target;
    Error problem{};
    if (!m_inPlace) {
        if (!writer.Commit(m_options.replaceExisting, &problem)) {
            if (problem.errorNumber == EEXIST) {
                return Stop(kUpgradeNoNewArchive,
                            MakeError(ErrorCode::AlreadyExists, target, "", EEXIST));
            }
            return Stop(kUpgradeNoNewArchive, problem);
        }
        m_report.outputPath = target;
        return kUpgradeDone;
    }
    // In place: when entries lost their content the old archive stays as ~NAME, since it holds
    // what the new one lacks; the archive's own name always holds a whole archive.
    KeptBackup backup;
    if (!m_report.unencoded.empty()) {
        if (!backup.Keep(m_path, m_options.interruptNote)) {
            return Stop(kUpgradeNoNewArchive,
                        MakeError(ErrorCode::CannotWrite, backup.Path(), "", errno));
        }
        m_report.keptBackup = backup.Path();
    }
    if (!writer.Commit(true, &problem)) {
        backup.Remove();
        m_report.keptBackup.clear();
        return Stop(kUpgradeNoNewArchive, problem);
    }
    backup.Release();
    m_report.outputPath = m_path;
    return kUpgradeDone;
}

int32_t Upgrade::Run() {
    const CZokFile old(m_path);
    if (!old.NeedsUpgrade()) {
        return kUpgradeNotNeeded;
    }
    m_target = m_inPlace ? m_path
                         : (m_options.outputPath.empty() ? UpgradedArchiveName(m_path)
                                                         : m_options.outputPath);
    const std::string& target = m_target;
    if (!m_inPlace && SameFile(target, m_path)) {
        return Stop(kUpgradeNoNewArchive, MakeError(ErrorCode::OutputIsInput, target));
    }
    std::vector<std::string> names(old.Count());
    for (size_t i = 0; i < names.size(); ++i) {
        names[i] = old.RawName(i);
        m_progress.totalStoredSize += old.Record(i).storedSize;
    }
    m_progress.entryCount = names.size();
    ZokWriter writer(std::move(names));
    Error problem{};
    if (!m_inPlace && !m_options.replaceExisting && NameTaken(target)) {
        return Stop(kUpgradeNoNewArchive, MakeError(ErrorCode::AlreadyExists, target, "", EEXIST));
    }
    if (!writer.Create(target, &problem)) {
        return Stop(kUpgradeNoNewArchive, problem);
    }
    for (size_t i = 0; i < writer.Count(); ++i) {
        if (CancelSet()) {
            return Cancelled();
        }
        if (const int32_t code = CopyEntry(old, i, writer); code != kUpgradeDone) {
            return code;
        }
        ++m_progress.entriesDone;
        m_progress.sourceBytesDone += old.Record(i).sourceSize;
        Report(true, writer.End());
    }
    if (CancelSet()) {
        return Cancelled();
    }
    return Commit(writer);
}

}  // namespace

std::string UpgradedArchiveName(const std::string& path) {
    const std::string name(BaseName(path));
    if (name.size() >= 4 && EqualsNoCase(std::string_view(name).substr(name.size() - 4), ".zok")) {
        return path.substr(0, path.size() - 4) + "110.zok";
    }
    return path + "110.zok";
}

UpgradeResult UpgradeArchive(const std::string& path, bool replaceInPlace,
                             const UpgradeOptions& options, UpgradeReport* reportOut) {
    UpgradeReport localReport;
    UpgradeReport& report = reportOut != nullptr ? *reportOut : localReport;
    report = UpgradeReport();
    return UpgradeResult(Upgrade(path, replaceInPlace, options, report).RunGuarded());
}

int32_t UpgradeArchive(const std::string& path, bool replaceInPlace,
                       UpgradeProgressCallback callback, UpgradeReport* reportOut) {
    // The function-pointer form: the counts as the format's callers know them, after each entry.
    UpgradeOptions options;
    if (callback != nullptr) {
        options.progress = [callback](const UpgradeProgress& p) {
            if (p.entryDone) {
                callback(p.entriesDone, uint32_t(p.sourceBytesDone), uint32_t(p.archiveSize),
                         uint32_t(p.totalStoredSize));
            }
        };
    }
    return int32_t(UpgradeArchive(path, replaceInPlace, options, reportOut));
}

}  // namespace zok
