#include "zok/upgrade_archive.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>

#include "archive/atomic_file.h"
#include "archive/codec_table.h"
#include "archive/directory_writer.h"
#include "archive/entry_writer.h"
#include "archive/file_handle.h"
#include "archive/names.h"
#include "zok/zok_error.h"
#include "zok/zok_file.h"

namespace {

constexpr char kBaseVersion[3] = {'1', '0', '0'};

bool VersionAboveBase(std::string_view version) {
    for (size_t i = 0; i < 3; ++i) {
        if (version[i] > kBaseVersion[i]) {
            return true;
        }
    }
    return false;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// The file that carries one entry's content from the old archive to its codec. It gets a
// free name in the archive's folder and is removed whatever happens.
class EntryTempFile {
public:
    ~EntryTempFile() {
        m_file.Reset();
        if (!m_path.empty()) {
            ::unlink(m_path.c_str());
        }
    }

    bool Create(const std::string& folder, std::string* error) {
        std::string pattern = folder + "temp.tmp.XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        const int fd = ::mkstemp(name.data());
        if (fd < 0) {
            *error = pattern + ": cannot create the temporary file: " + SystemReason(errno);
            return false;
        }
        m_path = name.data();
        m_file.Reset(::fdopen(fd, "w+b"));
        if (!m_file) {
            *error = m_path + ": " + SystemReason(errno);
            ::close(fd);
            return false;
        }
        return true;
    }

    // Replaces the file's content by the entry's content, streamed in pieces, and rewinds it
    // for reading. False with *damage set when the entry is damaged, with *error set when the
    // temporary file cannot be written.
    bool Fill(EntryReader& reader, std::string* damage, std::string* error) {
        FILE* f = m_file.Get();
        std::clearerr(f);
        errno = 0;
        if (fseeko(f, 0, SEEK_SET) != 0 || ::ftruncate(::fileno(f), 0) != 0) {
            *error = WriteError();
            return false;
        }
        std::vector<uint8_t> piece(
            std::min<uint64_t>(std::max<uint64_t>(reader.Size(), 1), kPieceSize));
        for (;;) {
            const size_t got = reader.Read(piece.data(), piece.size());
            if (got == 0) {
                break;
            }
            if (std::fwrite(piece.data(), 1, got, f) != got) {
                *error = WriteError();
                return false;
            }
        }
        if (!reader.Complete()) {
            *damage = reader.Error();
            return false;
        }
        if (std::fflush(f) != 0 || fseeko(f, 0, SEEK_SET) != 0) {
            *error = WriteError();
            return false;
        }
        return true;
    }

    bool IsOpen() const { return static_cast<bool>(m_file); }
    FILE* Get() const { return m_file.Get(); }

private:
    static constexpr uint64_t kPieceSize = 1 << 20;

    std::string WriteError() const {
        return m_path +
               ": cannot write the temporary file: " + SystemReason(errno != 0 ? errno : EIO);
    }

    std::string m_path;
    FileHandle m_file;
};

int32_t Stop(UpgradeReport& report, int32_t code, std::string message) {
    report.error = std::move(message);
    return code;
}

}  // namespace

int32_t UpgradeArchive(const std::string& path, bool replaceInPlace,
                       UpgradeProgressCallback callback, UpgradeReport* reportOut) {
    UpgradeReport localReport;
    UpgradeReport& report = reportOut != nullptr ? *reportOut : localReport;
    report = UpgradeReport();

    CZokFile old(path);
    if (VersionAboveBase(old.Version())) {
        return kUpgradeNotNeeded;
    }

    const size_t slash = path.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string fileName = path.substr(folder.size());
    std::string target = path;
    if (!replaceInPlace) {
        // pics.zok -> pics110.zok: the last four characters give way to "110.zok".
        if (fileName.size() < 4) {
            return Stop(report, kUpgradeNoNewArchive,
                        path + ": the name is too short to derive the new archive's name from");
        }
        target = path.substr(0, path.size() - 4) + "110.zok";
    }

    std::vector<EntryRecord> records(old.Count());
    uint64_t nameBytes = 0;
    uint32_t totalStored = 0;
    for (size_t i = 0; i < records.size(); ++i) {
        records[i].name = old.RawName(i);
        nameBytes += records[i].name.size();
        totalStored += old.Record(i).storedSize;
    }

    std::string error;
    AtomicFile output;
    if (!output.Create(target, &error)) {
        return Stop(report, kUpgradeNoNewArchive, error);
    }
    FILE* out = output.Get();
    {
        const std::string reservation(size_t(DirectorySize(records.size(), nameBytes)), '\0');
        if (std::fwrite(reservation.data(), 1, reservation.size(), out) != reservation.size()) {
            return Stop(report, kUpgradeNoNewArchive, target + ": " + SystemReason(errno));
        }
    }

    const CCodecTable codecs;
    EntryTempFile temp;
    uint32_t sourceDone = 0;
    for (size_t i = 0; i < records.size(); ++i) {
        const EntryRecord from = old.Record(i);
        const std::string label = path + ": entry \"" + from.name + "\"";
        // A PNG stream goes back through the PNG codec whatever its name; every other entry
        // through the codec its stored name selects, as the builder does.
        const std::string_view kindSource = from.kind == EntryKind::PngStream
                                                ? std::string_view("png")
                                                : std::string_view(records[i].name);
        if (old.HoldsNoData(i)) {
            // Left empty when the old archive was built: it stays an empty entry.
            records[i].offset = static_cast<uint32_t>(ftello(out));
            records[i].sourceSize = from.sourceSize;
            records[i].storedSize = 0;
            records[i].kind = KindForName(KindName(kindSource));
            report.carriedEmpty.push_back(from.name);
        } else {
            if (std::optional<std::string> problem = old.EntryProblem(i)) {
                return Stop(report, kUpgradeEntryUnreadable, label + ": " + *problem);
            }
            if (!temp.IsOpen() && !temp.Create(folder, &error)) {
                return Stop(report, kUpgradeNoTempFile, error);
            }
            // Each record is copied by its position, so entries sharing a name keep their own
            // data; it passes through the temporary file in pieces, never whole in memory.
            std::string damage;
            if (!temp.Fill(*old.OpenEntry(i), &damage, &error)) {
                return damage.empty()
                           ? Stop(report, kUpgradeNoTempFile, error)
                           : Stop(report, kUpgradeEntryUnreadable, label + ": " + damage);
            }
            report.currentEntry = from.name;
            const EntryWriteStatus status =
                WriteEntry(codecs, temp.Get(), kindSource, out, records[i], label, &error);
            report.currentEntry.clear();
            if (status == EntryWriteStatus::Failed) {
                return Stop(report, kUpgradeNoNewArchive, error);
            }
            if (status == EntryWriteStatus::Unencoded) {
                report.unencoded.push_back(from.name);
            }
        }
        if (callback != nullptr) {
            sourceDone += from.sourceSize;
            callback(static_cast<int32_t>(i + 1), sourceDone, static_cast<uint32_t>(ftello(out)),
                     totalStored);
        }
    }

    const std::string directory = SerializeDirectory(records);
    if (fseeko(out, 0, SEEK_SET) != 0 ||
        std::fwrite(directory.data(), 1, directory.size(), out) != directory.size()) {
        return Stop(report, kUpgradeNoNewArchive, target + ": " + SystemReason(errno));
    }

    if (!replaceInPlace) {
        if (!output.Commit(&error)) {
            return Stop(report, kUpgradeNoNewArchive, error);
        }
        report.outputPath = target;
        return kUpgradeDone;
    }

    // In place: the old archive steps aside as ~name (another "~" for every name taken), the
    // new one takes its place, and the backup goes once the new archive stands.
    std::string backupName = "~" + fileName;
    while (Exists(folder + backupName)) {
        backupName.insert(0, "~");
    }
    const std::string backup = folder + backupName;
    if (std::rename(path.c_str(), backup.c_str()) != 0) {
        throw ZokError(path + ": cannot rename it to " + backup + ": " + SystemReason(errno) +
                       " (the archive is unchanged)");
    }
    if (!output.Commit(&error)) {
        if (std::rename(backup.c_str(), path.c_str()) != 0) {
            throw ZokError(error + "; the old archive is kept as " + backup + " (" +
                           SystemReason(errno) + ")");
        }
        return Stop(report, kUpgradeNoNewArchive, error);
    }
    report.outputPath = path;
    if (!report.unencoded.empty()) {
        // Some entries lost their content in the new archive: keep the old one.
        report.keptBackup = backup;
        return kUpgradeDone;
    }
    if (::unlink(backup.c_str()) != 0) {
        throw ZokError(backup + ": cannot delete the old archive: " + SystemReason(errno) +
                       " (the new archive is " + path + ")");
    }
    return kUpgradeDone;
}
