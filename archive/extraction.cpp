#include "zok/extract.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <mutex>
#include <new>
#include <unordered_map>
#include <unordered_set>

#include "archive/entry_output.h"
#include "archive/ordered_work.h"
#include "archive/zok_directory.h"
#include "io/atomic_file.h"
#include "io/contained_folder.h"
#include "io/names.h"
#include "io/regular_file.h"
#include "zok/zok_file.h"

namespace zok {

namespace {

constexpr size_t kNone = size_t(-1);

ErrorCode RefusalCode(NameRefusal refusal) {
    switch (refusal) {
        case NameRefusal::None:
            break;
        case NameRefusal::Empty:
            return ErrorCode::NameEmpty;
        case NameRefusal::FolderReference:
            return ErrorCode::NameFolderReference;
        case NameRefusal::Separator:
            return ErrorCode::NameHasSeparator;
        case NameRefusal::NulByte:
            return ErrorCode::NameHasNul;
    }
    return ErrorCode::None;
}

bool IsArchive(const ArchiveDirectory& dir, const struct stat& st) {
    return st.st_dev == dir.device && st.st_ino == dir.inode;
}

}  // namespace

struct Extraction::State {
    explicit State(const CZokFile& archive) : zok(archive), dir(DirectoryOf(archive)) {}

    // Writes item k; its outcome.
    ItemResult Write(size_t k, const ExtractOptions& options);
    // Removes the file item k made, when it is still that file.
    void RemoveMade(size_t k);
    void Counted(uint64_t bytes, const ExtractOptions& options);

    const CZokFile& zok;
    const ArchiveDirectory& dir;
    ContainedFolder folder;
    std::vector<ExtractItem> items;
    // The files new items made (device, inode), to remove exactly them on a cancel.
    std::vector<std::pair<dev_t, ino_t>> made;
    std::mutex progressMutex;
    uint64_t bytesDone = 0;
};

Extraction::Extraction(const CZokFile& archive) : m_state(std::make_unique<State>(archive)) {}

Extraction::~Extraction() = default;

const std::vector<ExtractItem>& Extraction::Items() const {
    return m_state->items;
}

Error Extraction::Plan(const std::string& folder, const std::vector<size_t>& indices,
                       bool createFolder) {
    State& s = *m_state;
    s.items.clear();
    Error error;
    if (!s.folder.Open(folder, createFolder, &error)) {
        return error;
    }
    std::unordered_set<size_t> seen;
    std::unordered_set<std::string> targets;
    for (const size_t index : indices) {
        if (!seen.insert(index).second) {
            continue;
        }
        ExtractItem item;
        item.index = index;
        if (index >= s.zok.Count()) {
            item.refused = MakeError(ErrorCode::NoSuchEntry, s.dir.path);
            item.refused.number = index;
            s.items.push_back(std::move(item));
            continue;
        }
        item.name = s.zok.Record(index).name;
        item.bytes = EntryFileBytes(s.zok, index);
        item.writesTo = folder + "/" + item.name;
        if (const ErrorCode refusal = RefusalCode(RefuseAsFileName(item.name));
            refusal != ErrorCode::None) {
            item.refused = MakeError(refusal, "", item.name);
            s.items.push_back(std::move(item));
            continue;
        }
        ContainedFolder::Target target;
        if (!s.folder.Resolve(item.name, &target, &item.refused)) {
            item.refused.entry = item.name;
            s.items.push_back(std::move(item));
            continue;
        }
        item.writesTo = folder + "/" + target.relative;
        if (target.exists && !S_ISREG(target.status.st_mode)) {
            item.refused =
                MakeError(NotRegularCode(target.status.st_mode), item.writesTo, item.name);
        } else if (target.exists && IsArchive(s.dir, target.status)) {
            item.refused = MakeError(ErrorCode::OutputIsInput, item.writesTo, item.name);
        } else {
            item.taken = !targets.insert(item.writesTo).second || target.exists;
        }
        s.items.push_back(std::move(item));
    }
    return Error();
}

void Extraction::Decide(ExistingFiles policy,
                        const std::function<OverwriteAnswer(const ExtractItem&)>& ask) {
    bool answered = false;  // a ... to all was given
    bool allYes = false;
    for (ExtractItem& item : m_state->items) {
        if (!item.taken || item.refused) {
            continue;
        }
        bool yes = false;
        bool skip = false;
        switch (policy) {
            case ExistingFiles::Keep:
                break;
            case ExistingFiles::Replace:
                yes = true;
                break;
            case ExistingFiles::Skip:
                skip = true;
                break;
            case ExistingFiles::Ask: {
                const OverwriteAnswer answer =
                    answered ? (allYes ? OverwriteAnswer::Yes : OverwriteAnswer::No)
                             : (ask ? ask(item) : OverwriteAnswer::No);
                answered = answered || answer == OverwriteAnswer::YesToAll ||
                           answer == OverwriteAnswer::NoToAll;
                allYes = allYes || answer == OverwriteAnswer::YesToAll;
                yes = answer == OverwriteAnswer::Yes || answer == OverwriteAnswer::YesToAll;
                skip = !yes;
                break;
            }
        }
        item.replace = yes;
        item.skip = skip;
    }
}

uint64_t Extraction::BytesToRead() const {
    uint64_t total = 0;
    for (const ExtractItem& item : m_state->items) {
        total += !item.refused && !item.skip && (!item.taken || item.replace) ? item.bytes : 0;
    }
    return total;
}

void Extraction::State::Counted(uint64_t bytes, const ExtractOptions& options) {
    std::lock_guard lock(progressMutex);
    bytesDone += bytes;
    if (options.progress) {
        options.progress(bytesDone);
    }
}

ItemResult Extraction::State::Write(size_t k, const ExtractOptions& options) {
    const ExtractItem& item = items[k];
    ItemResult result;
    const auto failed = [&](Error error) {
        if (error.entry.empty()) {
            error.entry = item.name;
        }
        if (error.path.empty()) {
            error.path = item.writesTo;
        }
        result.status =
            error.code == ErrorCode::Cancelled ? ItemStatus::NotReached : ItemStatus::Failed;
        result.error = std::move(error);
        return result;
    };
    if (item.refused) {
        result.status = ItemStatus::Failed;
        result.error = item.refused;
        return result;
    }
    if (item.skip) {
        result.status = ItemStatus::Skipped;
        return result;
    }
    if (item.taken && !item.replace) {
        return failed(MakeError(ErrorCode::AlreadyExists, item.writesTo, item.name, EEXIST));
    }
    if (options.cancel != nullptr && options.cancel->load()) {
        return result;
    }
    try {
        if (Error problem = zok.EntryProblem(item.index)) {
            return failed(std::move(problem));
        }
        // Resolved again as it is written: whatever changed in the folder since the plan, the
        // file goes where the kernel's resolution beneath the folder says, or nowhere.
        ContainedFolder::Target target;
        Error error;
        if (!folder.Resolve(item.name, &target, &error)) {
            return failed(std::move(error));
        }
        const std::string shown = folder.Path() + "/" + target.relative;
        if (target.exists && IsArchive(dir, target.status)) {
            return failed(MakeError(ErrorCode::OutputIsInput, shown, item.name));
        }
        AtomicFile out;
        if (!out.CreateIn(target.parent.Get(), target.name, shown, &error)) {
            return failed(std::move(error));
        }
        error = WriteEntryFile(zok, item.index, out.Get(), options.cancel,
                               [&](uint64_t bytes) { Counted(bytes, options); });
        if (error) {
            if (error.code == ErrorCode::CannotWrite) {
                error.path = shown;
            } else if (error.path.empty()) {
                error.path = dir.path;
            }
            return failed(std::move(error));
        }
        if (!out.Commit(&error, false, item.replace)) {
            return failed(std::move(error));
        }
        result.status = target.exists && item.replace ? ItemStatus::Replaced : ItemStatus::Written;
        if (result.status == ItemStatus::Written) {
            made[k] = {out.Device(), out.Inode()};
        }
    } catch (const std::bad_alloc&) {
        return failed(MakeError(ErrorCode::OutOfMemory, dir.path, item.name));
    }
    return result;
}

void Extraction::State::RemoveMade(size_t k) {
    ContainedFolder::Target target;
    Error error;
    if (folder.Resolve(items[k].name, &target, &error) && target.exists &&
        target.status.st_dev == made[k].first && target.status.st_ino == made[k].second) {
        ::unlinkat(target.parent.Get(), target.name.c_str(), 0);
    }
}

ExtractResult Extraction::Run(const ExtractOptions& options) {
    State& s = *m_state;
    ExtractResult result;
    result.items.assign(s.items.size(), ItemResult());
    s.made.assign(s.items.size(), {0, 0});
    s.bytesDone = 0;
    // Items that write one file run one after another, in order.
    std::vector<size_t> after(s.items.size(), kNone);
    std::unordered_map<std::string, size_t> last;
    for (size_t k = 0; k < s.items.size(); ++k) {
        if (s.items[k].refused) {
            continue;
        }
        auto [it, fresh] = last.emplace(s.items[k].writesTo, k);
        if (!fresh) {
            after[k] = it->second;
            it->second = k;
        }
    }
    RunInOrder(
        s.items.size(), options.threads, after,
        [&](size_t k) { result.items[k] = s.Write(k, options); },
        [&](size_t k) {
            if (options.onItem) {
                options.onItem(s.items[k], result.items[k]);
            }
        },
        options.cancel);
    bool unreached = false;
    for (const ItemResult& item : result.items) {
        unreached = unreached || item.status == ItemStatus::NotReached;
    }
    result.cancelled = unreached && options.cancel != nullptr && options.cancel->load();
    for (size_t k = 0; k < s.items.size(); ++k) {
        ItemResult& item = result.items[k];
        if (result.cancelled && options.removeMadeOnCancel && item.status == ItemStatus::Written) {
            s.RemoveMade(k);
            item.status = ItemStatus::NotReached;
        }
        result.written += item.status == ItemStatus::Written || item.status == ItemStatus::Replaced;
        result.skipped += item.status == ItemStatus::Skipped;
        result.failed += item.status == ItemStatus::Failed;
    }
    return result;
}

}  // namespace zok
