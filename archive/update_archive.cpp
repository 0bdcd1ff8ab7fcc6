#include "zok/update.h"

#include <cerrno>
#include <memory>
#include <new>
#include <optional>
#include <unordered_map>

#include "archive/checked_inputs.h"
#include "archive/entry_equality.h"
#include "archive/entry_kinds.h"
#include "archive/entry_writer.h"
#include "archive/ordered_work.h"
#include "archive/zok_directory.h"
#include "archive/zok_writer.h"
#include "codecs/codec_table.h"
#include "io/input_file.h"
#include "io/names.h"
#include "io/regular_file.h"
#include "zok/inputs.h"
#include "zok/zok_file.h"

namespace zok {

namespace {

constexpr size_t kNone = size_t(-1);
constexpr uint64_t kReportEvery = 1 << 20;

// One entry of the new archive: an old entry, an input, or an input in an old entry's place.
struct Slot {
    size_t old = kNone;    // the old entry it keeps or replaces
    size_t input = kNone;  // the input it is made from
    bool unchanged = false;
};

class Update {
public:
    // set, when given, holds options.inputs opened (see InputSet).
    Update(const std::string& path, const UpdateOptions& options, UpdateReport& report,
           InputSet* set = nullptr)
        : m_path(path),
          m_options(options),
          m_report(report),
          m_target(options.outputPath.empty() ? path : options.outputPath),
          m_set(set) {}

    bool Run();

private:
    bool Fail(Error problem) {
        m_report.problems.push_back(std::move(problem));
        return false;
    }
    // The archive itself is always replaced; another output only when asked.
    bool Replaces() const { return m_options.outputPath.empty() || m_options.replaceExisting; }
    bool CheckArchive();
    bool CheckInputs();
    void Plan();
    bool FindUnchanged();
    bool Write();
    bool WriteInput(ZokWriter& writer, size_t j, Slot& slot);
    bool Counted(uint64_t bytes, const std::string& current);
    void Describe();

    const std::string& m_path;
    const UpdateOptions& m_options;
    UpdateReport& m_report;
    const std::string m_target;
    InputSet* m_set;
    std::unique_ptr<CZokFile> m_old;
    std::vector<bool> m_deleted;
    std::vector<std::optional<std::string>> m_names;  // the inputs' names in CP949
    std::unique_ptr<CheckedInputs> m_inputs;
    std::vector<Slot> m_slots;
    const CCodecTable m_codecs;
    UpdateProgress m_progress;
    uint64_t m_reported = 0;
};

// The old archive must be one the writer can copy from: version 1.1.0, every entry's stored
// bytes inside the file. Other damage is copied as it stands, with a warning.
bool Update::CheckArchive() {
    try {
        m_old = std::make_unique<CZokFile>(m_path);
    } catch (const ZokError& e) {
        return Fail(e.Problem());
    }
    if (m_old->NeedsUpgrade()) {
        return Fail(MakeError(ErrorCode::NeedsUpgrade, m_path));
    }
    for (size_t i = 0; i < m_old->Count(); ++i) {
        Error problem = m_old->EntryProblem(i);
        if (problem.code == ErrorCode::DataPastEnd) {
            m_report.problems.push_back(std::move(problem));
        } else if (problem && problem.code != ErrorCode::HoldsNoData) {
            m_report.warnings.push_back(std::move(problem));
        }
    }
    m_deleted.assign(m_old->Count(), false);
    for (const std::string& deletion : m_options.deletions) {
        const std::vector<size_t> found = m_old->FindAll(deletion);
        if (found.empty()) {
            m_report.problems.push_back(MakeError(ErrorCode::NoMatch, m_path, deletion));
        }
        for (const size_t i : found) {
            m_deleted[i] = true;
        }
    }
    for (const size_t i : m_options.deletePositions) {
        if (i < m_deleted.size()) {
            m_deleted[i] = true;
        } else {
            Error error = MakeError(ErrorCode::NoSuchEntry, m_path);
            error.number = i;
            m_report.problems.push_back(std::move(error));
        }
    }
    return m_report.problems.empty();
}

// Every input is checked as a build checks it, and no two may give one name.
bool Update::CheckInputs() {
    const std::vector<std::string>& inputs = m_options.inputs;
    m_names.resize(inputs.size());
    for (size_t k = 0; k < inputs.size(); ++k) {
        m_names[k] = Utf8ToCp949(BaseName(inputs[k]));
    }
    m_inputs = m_set != nullptr
                   ? std::make_unique<CheckedInputs>(*m_set, CheckedInputs::DefaultBudget())
                   : std::make_unique<CheckedInputs>(inputs, CheckedInputs::DefaultBudget());
    m_inputs->Check(m_target, m_names, m_report.problems);
    if (!m_options.allowDuplicateNames) {
        for (Error& clash : FindNameClashes(inputs)) {
            m_report.problems.push_back(std::move(clash));
        }
    }
    return m_report.problems.empty();
}

// The old entries that stay, in order; each input takes the place of the first of them with its
// name, or goes at the end.
void Update::Plan() {
    std::unordered_map<std::string, size_t> byName;  // folded name -> first slot
    for (size_t i = 0; i < m_old->Count(); ++i) {
        if (!m_deleted[i]) {
            byName.emplace(FoldedName(m_old->RawName(i)), m_slots.size());
            m_slots.push_back(Slot{i, kNone, false});
        }
    }
    for (size_t k = 0; k < m_options.inputs.size(); ++k) {
        const auto it = byName.find(FoldedName(*m_names[k]));
        if (it != byName.end() && m_slots[it->second].input == kNone) {
            m_slots[it->second].input = k;
        } else {
            m_slots.push_back(Slot{kNone, k, false});
        }
    }
    for (const Slot& slot : m_slots) {
        m_progress.bytesTotal +=
            slot.input != kNone ? m_inputs->Size(slot.input) : m_old->Record(slot.old).storedSize;
    }
}

bool Update::Counted(uint64_t bytes, const std::string& current) {
    m_progress.bytesDone += bytes;
    m_progress.current = current;
    if (m_options.progress && m_progress.bytesDone - m_reported >= kReportEvery) {
        m_reported = m_progress.bytesDone;
        m_options.progress(m_progress);
    }
    return !(m_options.cancel != nullptr && m_options.cancel->load());
}

// With onlyChanged, the inputs that equal the entries they would replace, compared on every
// core before anything is written (reading and decoding both sides is the whole cost of an
// update that changes little). An input that cannot be read or compared counts as changed: it
// is then encoded, and that names its problem.
bool Update::FindUnchanged() {
    std::vector<size_t> compared;
    for (size_t j = 0; j < m_slots.size(); ++j) {
        if (m_slots[j].old != kNone && m_slots[j].input != kNone) {
            compared.push_back(j);
        }
    }
    std::vector<char> equal(compared.size(), 0);
    const auto compare = [&](size_t k) {
        const Slot& slot = m_slots[compared[k]];
        Error problem;
        InputFile input;
        try {
            equal[k] = m_inputs->Open(slot.input, input, &problem) &&
                       SameContent(*m_old, slot.old, input.Stream(), input.Size(),
                                   WriteRuleFor(*m_names[slot.input])) &&
                       input.Unchanged(&problem);  // equal as it was read, not changed since
        } catch (const std::bad_alloc&) {
            equal[k] = 0;
        }
    };
    const size_t done = RunInOrder(
        compared.size(), WorkerCount(0, compared.size()), {}, compare,
        [&](size_t k) {
            Slot& slot = m_slots[compared[k]];
            slot.unchanged = equal[k] != 0;
            if (slot.unchanged) {
                Counted(m_inputs->Size(slot.input), m_options.inputs[slot.input]);
            }
        },
        m_options.cancel);
    return done == compared.size() || Fail(MakeError(ErrorCode::Cancelled, m_target));
}

// An input in its slot: left as stored when it was found equal to its entry, else encoded as a
// build encodes it.
bool Update::WriteInput(ZokWriter& writer, size_t j, Slot& slot) {
    const std::string& path = m_options.inputs[slot.input];
    Error problem;
    if (slot.unchanged) {
        // Its bytes were counted when it was compared.
        const EntryRecord record = m_old->Record(slot.old);
        return writer.CopyEntry(
                   j, DirectoryOf(*m_old).fd, record.offset, record, path,
                   [&](uint64_t) { return Counted(0, path); }, &problem) ||
               Fail(problem);
    }
    const EntryKindRule& rule = WriteRuleFor(*m_names[slot.input]);
    InputFile input;
    if (!m_inputs->Open(slot.input, input, &problem) || !writer.BeginEntry(j, path, &problem)) {
        return Fail(problem);
    }
    input.SetCancel(m_options.cancel);
    uint64_t counted = 0;
    input.OnRead([&](uint64_t read) {
        Counted(read - counted, path);
        counted = read;
    });
    EntryRecord record;
    EntryWriteStatus status = EntryWriteStatus::Failed;
    status = EncodeInput(m_codecs, input, rule, writer.Stream(), record, &problem);
    Counted(input.Size() - std::min<uint64_t>(counted, input.Size()), path);
    if (status == EntryWriteStatus::Failed) {
        if (problem.path.empty()) {
            problem.path = path;
        }
        return Fail(problem);
    }
    if (!writer.EndEntry(j, writer.StreamPosition(), record.sourceSize, record.storedSize,
                         record.kind, path, &problem)) {
        return Fail(problem);
    }
    if (status == EntryWriteStatus::Unencoded) {
        m_report.unencoded.push_back(path);
    }
    return true;
}

bool Update::Write() {
    std::vector<std::string> names;
    for (const Slot& slot : m_slots) {
        names.push_back(slot.input != kNone ? *m_names[slot.input] : m_old->RawName(slot.old));
    }
    ZokWriter writer(std::move(names));
    Error problem;
    if (!Replaces() && NameTaken(m_target)) {
        return Fail(MakeError(ErrorCode::AlreadyExists, m_target, "", EEXIST));
    }
    if (!writer.Create(m_target, &problem)) {
        return Fail(problem);
    }
    const int fd = DirectoryOf(*m_old).fd;
    for (size_t j = 0; j < m_slots.size(); ++j) {
        Slot& slot = m_slots[j];
        if (m_options.cancel != nullptr && m_options.cancel->load()) {
            return Fail(MakeError(ErrorCode::Cancelled, m_target));
        }
        if (slot.input != kNone) {
            if (!WriteInput(writer, j, slot)) {
                return false;
            }
            continue;
        }
        const EntryRecord record = m_old->Record(slot.old);
        const std::string label = m_path + ": " + record.name;
        if (!writer.CopyEntry(
                j, fd, record.offset, record, label,
                [&](uint64_t n) { return Counted(n, record.name); }, &problem)) {
            if (problem.code != ErrorCode::Cancelled) {
                problem = MakeError(problem.code, m_path, record.name, problem.errorNumber);
            }
            return Fail(problem);
        }
    }
    if (m_options.cancel != nullptr && m_options.cancel->load()) {
        return Fail(MakeError(ErrorCode::Cancelled, m_target));
    }
    return writer.Commit(Replaces(), &problem) || Fail(problem);
}

// The report's list: every old entry where it stood (deleted ones too), then the added inputs.
void Update::Describe() {
    size_t j = 0;
    for (size_t i = 0; i < m_old->Count(); ++i) {
        UpdatedEntry entry;
        entry.name = m_old->Record(i).name;
        if (m_deleted[i]) {
            entry.action = UpdateAction::Deleted;
        } else {
            const Slot& slot = m_slots[j++];
            if (slot.input != kNone) {
                entry.input = m_options.inputs[slot.input];
                entry.name = std::string(BaseName(entry.input));
                entry.action = slot.unchanged ? UpdateAction::Unchanged : UpdateAction::Replaced;
            }
        }
        m_report.entries.push_back(std::move(entry));
    }
    for (; j < m_slots.size(); ++j) {
        const std::string& input = m_options.inputs[m_slots[j].input];
        m_report.entries.push_back(
            UpdatedEntry{std::string(BaseName(input)), UpdateAction::Added, input});
    }
}

bool Update::Run() {
    if (!CheckArchive() || !CheckInputs()) {
        return false;
    }
    Plan();
    if ((m_options.onlyChanged && !FindUnchanged()) || !Write()) {
        return false;
    }
    Describe();
    if (m_options.progress) {
        m_options.progress(m_progress);
    }
    return true;
}

}  // namespace

namespace {

bool RunUpdate(const std::string& archivePath, const UpdateOptions& options,
               UpdateReport* reportOut, InputSet* set) {
    UpdateReport localReport;
    UpdateReport& report = reportOut != nullptr ? *reportOut : localReport;
    report = UpdateReport();
    try {
        return Update(archivePath, options, report, set).Run();
    } catch (const std::bad_alloc&) {
        report.problems.push_back(MakeError(ErrorCode::OutOfMemory, archivePath));
        return false;
    }
}

}  // namespace

bool UpdateArchive(const std::string& archivePath, const UpdateOptions& options,
                   UpdateReport* report) {
    return RunUpdate(archivePath, options, report, nullptr);
}

bool UpdateArchive(const std::string& archivePath, InputSet& inputs, const UpdateOptions& options,
                   UpdateReport* report) {
    UpdateOptions withSet = options;
    withSet.inputs = inputs.Files().files;
    return RunUpdate(archivePath, withSet, report, &inputs);
}

}  // namespace zok
