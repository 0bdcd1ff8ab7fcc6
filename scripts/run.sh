#!/usr/bin/env bash
# Builds the desktop program (only it, in build/ with the flags scripts/test.sh uses, so each
# reuses the other's work) and starts it; arguments are passed on, e.g. an archive to open.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
program="$root/build/ui/zok-compressor"
if grep -qs "^ZOK_BUILD_GUI:BOOL=OFF" "$root/build/CMakeCache.txt"; then
    # A build configured without the desktop program: the command-line tool instead.
    "$root/scripts/build.sh" "$root/build" -- zok
    exec "$root/build/cli/zok" --help
fi
"$root/scripts/build.sh" "$root/build" -- zok-compressor
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ] || [ -n "${QT_QPA_PLATFORM:-}" ]; then
    exec "$program" "$@"
fi
# No desktop session: a virtual screen when there is one to be had, else say what to do.
if command -v xvfb-run >/dev/null 2>&1; then
    echo "No display: starting zok-compressor on a virtual X screen (xvfb-run)." >&2
    exec xvfb-run -a "$program" "$@"
fi
cat >&2 <<MSG
zok-compressor needs a display, and this session has none (DISPLAY and WAYLAND_DISPLAY are
unset). Start it from a desktop session, or:
  - install xvfb (apt-get install xvfb xauth) and run: xvfb-run -a $program
  - run it without a screen: QT_QPA_PLATFORM=offscreen $program
  - use the command-line tool instead: $root/build/cli/zok --help
MSG
exit 1
