#!/usr/bin/env bash
# Builds the Debian packages zok, zok-compressor, libzok2 and libzok-dev into BUILD_DIR/packages,
# from the build scripts/build.sh makes (the one scripts/test.sh has tested: nothing is rebuilt).
# Usage: scripts/package.sh [BUILD_DIR] [extra cmake args...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$root/build"}
shift || true
"$root/scripts/build.sh" "$build" "$@"
rm -f "$build"/packages/*.deb
(cd "$build" && cpack --config CPackConfig.cmake >/dev/null)
ls "$build"/packages/*.deb
