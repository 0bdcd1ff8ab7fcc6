#pragma once

#include <string>

namespace zok {

// Names of temporary files that exist right now, kept where a signal handler can reach them, so
// that an interrupted program leaves none behind. Files written unnamed (O_TMPFILE) need none of
// this: they vanish with the process whatever ends it.

// Notes a temporary file; false when the table is full (the file is then not removed on a
// signal, but everything else works).
bool RegisterTemporaryFile(const std::string& path);
// Forgets a temporary file that was renamed or removed.
void UnregisterTemporaryFile(const std::string& path);
// Removes every noted file now. Async-signal-safe.
void RemoveTemporaryFilesNow();
// Installs handlers for SIGINT, SIGTERM and SIGHUP that remove the noted files and then end the
// process by the same signal, as it would have ended without them.
void RemoveTemporaryFilesOnSignals();

}  // namespace zok
