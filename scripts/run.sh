#!/usr/bin/env bash
# Builds ZOK Compressor and starts the desktop program (arguments are passed on).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$root/build"
if [ -x "$root/build/ui/zok-compressor" ]; then
    exec "$root/build/ui/zok-compressor" "$@"
fi
exec "$root/build/cli/zok" --help
