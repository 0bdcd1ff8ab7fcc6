#include "io/temporary_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

#include "io/names.h"
#include "zok/cleanup.h"

namespace zok {

namespace {

enum class SlotKind : int { File, Backup, Folder };

// One fixed slot per noted file: no allocation, so that a handler can walk them.
struct Slot {
    std::atomic<int> state{0};  // 0 free, 1 being filled, 2 holds a name
    SlotKind kind = SlotKind::File;
    int folder = -1;
    char name[NAME_MAX + 1] = {};
    char original[NAME_MAX + 1] = {};
    dev_t device = 0;
    ino_t inode = 0;
    char note[512] = {};
};
constexpr int kSlots = 64;
Slot g_slots[kSlots];
std::atomic<void (*)(const char*)> g_hook{nullptr};

bool CopyName(char* to, size_t room, const std::string& from) {
    if (from.size() >= room || from.find('\0') != std::string::npos) {
        return false;
    }
    std::memcpy(to, from.c_str(), from.size() + 1);
    return true;
}

template <typename Fill>
int Register(Fill fill) {
    for (int i = 0; i < kSlots; ++i) {
        Slot& slot = g_slots[i];
        int expected = 0;
        if (slot.state.compare_exchange_strong(expected, 1)) {
            if (!fill(slot)) {
                slot.state.store(0);
                return -1;
            }
            slot.state.store(2);
            return i;
        }
    }
    return -1;
}

// Removes the plain files of a folder and the folder, with system calls only.
void RemoveFolder(int parent, const char* name) {
    const int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        alignas(8) char buffer[4096];
        for (;;) {
            const long n = ::syscall(SYS_getdents64, fd, buffer, sizeof buffer);
            if (n <= 0) {
                break;
            }
            for (long at = 0; at < n;) {
                const auto* d = reinterpret_cast<const struct dirent64*>(buffer + at);
                if (std::strcmp(d->d_name, ".") != 0 && std::strcmp(d->d_name, "..") != 0) {
                    ::unlinkat(fd, d->d_name, 0);
                }
                at += d->d_reclen;
            }
        }
        ::close(fd);
    }
    ::unlinkat(parent, name, AT_REMOVEDIR);
}

void OnSignal(int signal) {
    RemoveTemporaryFilesNow();
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

}  // namespace

int RegisterTemporaryFile(int folder, const std::string& name) {
    return Register([&](Slot& slot) {
        slot.kind = SlotKind::File;
        slot.folder = folder;
        return CopyName(slot.name, sizeof slot.name, name);
    });
}

int RegisterBackup(int folder, const std::string& name, const std::string& original, dev_t device,
                   ino_t inode, const std::string& note) {
    return Register([&](Slot& slot) {
        slot.kind = SlotKind::Backup;
        slot.folder = folder;
        slot.device = device;
        slot.inode = inode;
        const std::string cut = note.substr(0, sizeof slot.note - 1);
        std::memcpy(slot.note, cut.c_str(), cut.size() + 1);
        return CopyName(slot.name, sizeof slot.name, name) &&
               CopyName(slot.original, sizeof slot.original, original);
    });
}

int RegisterFolder(int parent, const std::string& name) {
    return Register([&](Slot& slot) {
        slot.kind = SlotKind::Folder;
        slot.folder = parent;
        return CopyName(slot.name, sizeof slot.name, name);
    });
}

void UnregisterTemporaryFile(int ticket) {
    if (ticket >= 0 && ticket < kSlots) {
        g_slots[ticket].state.store(0);
    }
}

void RemoveTemporaryFilesNow() {
    for (Slot& slot : g_slots) {
        if (slot.state.load() != 2) {
            continue;
        }
        switch (slot.kind) {
            case SlotKind::File:
                ::unlinkat(slot.folder, slot.name, 0);
                break;
            case SlotKind::Folder:
                RemoveFolder(slot.folder, slot.name);
                break;
            case SlotKind::Backup: {
                struct stat st {};
                const bool replaced =
                    ::fstatat(slot.folder, slot.original, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                    (st.st_dev != slot.device || st.st_ino != slot.inode);
                if (replaced) {
                    (void)!::write(STDERR_FILENO, slot.note, std::strlen(slot.note));
                } else {
                    ::unlinkat(slot.folder, slot.name, 0);
                }
                break;
            }
        }
    }
}

void RemoveTemporaryFilesOnSignals() {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        ::sigaction(signal, &action, nullptr);
    }
}

int NoteTemporaryFolder(const std::string& path) {
    const int parent = ::open(FolderOf(path).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (parent < 0) {
        return -1;
    }
    const int ticket = RegisterFolder(parent, std::string(BaseName(path)));
    if (ticket < 0) {
        ::close(parent);
    }
    return ticket;
}

void ForgetTemporaryFolder(int ticket) {
    if (ticket < 0 || ticket >= kSlots || g_slots[ticket].kind != SlotKind::Folder) {
        return;
    }
    const int parent = g_slots[ticket].folder;
    UnregisterTemporaryFile(ticket);
    ::close(parent);
}

void SetTemporaryFileHook(void (*hook)(const char* point)) {
    g_hook.store(hook);
}

void TemporaryFilePoint(const char* point) {
    if (void (*hook)(const char*) = g_hook.load()) {
        hook(point);
    }
}

}  // namespace zok
