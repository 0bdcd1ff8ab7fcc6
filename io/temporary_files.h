#pragma once

#include <sys/types.h>

#include <string>

#include "zok/cleanup.h"

namespace zok {

// Files that must not outlive an interrupted program, kept where a signal handler can reach
// them: each by the descriptor of its folder and its name there, so that the handler removes
// exactly that file whatever was renamed meanwhile. Files written unnamed (O_TMPFILE) need none
// of this: they vanish with the process whatever ends it.
//
// A name is noted before the call that creates it and forgotten after the call that renames or
// removes it, so that no moment exists in which it stands on disk unnoted. The folder
// descriptor must stay open until the name is forgotten.

// Notes folder/name for removal; returns its ticket, or -1 when the table is full (the file
// is then not removed on a signal, but everything else works).
int RegisterTemporaryFile(int folder, const std::string& name);

// Notes a backup beside an archive that is being replaced: on a signal it is removed while
// original (in the same folder) is still the old archive (device, inode), since nothing is
// lost then; once the new archive has taken the name it is kept, and note is written to the
// standard error instead.
int RegisterBackup(int folder, const std::string& name, const std::string& original, dev_t device,
                   ino_t inode, const std::string& note);

// Notes a folder of plain files (a drag-out folder): on a signal its files and then the folder
// are removed. parent is the descriptor of the folder it lies in.
int RegisterFolder(int parent, const std::string& name);

// Forgets a ticket (negative tickets are ignored).
void UnregisterTemporaryFile(int ticket);

// Removes every noted file now. Async-signal-safe.
void RemoveTemporaryFilesNow();

// RemoveTemporaryFilesOnSignals, NoteTemporaryFolder and ForgetTemporaryFolder are the
// programs' part of this: zok/cleanup.h.

// For tests: hook is called at each point where a temporary name is noted, created, renamed
// or forgotten, with the point's name ("noted", "created", "linked", "renamed" ...), so that a
// test can stop the program exactly there. Null removes it.
void SetTemporaryFileHook(void (*hook)(const char* point));
// Calls the hook, if any.
void TemporaryFilePoint(const char* point);

}  // namespace zok
