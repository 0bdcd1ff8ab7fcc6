#pragma once

#include <string>

#include "zok/export.h"

namespace zok {

// What a program must do so that no temporary file of the library outlives it.
//
// The library writes every output unnamed where the system allows it, so that it vanishes with
// the process whatever ends it; where it must use a temporary name, the name is noted before
// it is created. These handlers remove what is noted when the program is interrupted.

// Installs handlers for SIGINT, SIGTERM and SIGHUP that remove the noted files and folders and
// then end the process by the same signal, as it would have ended without them. Call it once,
// early in main.
ZOK_API void RemoveTemporaryFilesOnSignals();

// Notes a folder of plain files that the program made for a while (a drag-out folder): a
// signal removes it with its files. Returns a ticket for ForgetTemporaryFolder, or -1 when it
// cannot be noted (it is then only not removed on a signal).
ZOK_API int NoteTemporaryFolder(const std::string& path);
// Forgets a noted folder (the program removed it, or keeps it).
ZOK_API void ForgetTemporaryFolder(int ticket);

}  // namespace zok
