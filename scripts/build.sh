#!/usr/bin/env bash
# Configures and builds one build tree with the flags CI uses (RelWithDebInfo, warnings as
# errors), so that scripts/run.sh, scripts/test.sh and scripts/package.sh share one build/ and
# its compiler cache; later cmake arguments override them.
# Usage: scripts/build.sh [BUILD_DIR] [extra cmake args...] [-- TARGET...]
#   without TARGETs everything is built.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$root/build"}
shift || true
cmake_args=()
targets=()
while [ $# -gt 0 ]; do
    if [ "$1" = "--" ]; then
        shift
        targets=("$@")
        break
    fi
    cmake_args+=("$1")
    shift
done

# The compiler cache: ccache's own folder (or CCACHE_DIR), created when missing, so that a
# fresh machine or a CI job that restores CCACHE_DIR starts using it at once. A folder that
# cannot be written would fail every compilation: then one inside the tree is used.
if command -v ccache >/dev/null 2>&1; then
    export CCACHE_DIR=${CCACHE_DIR:-$(ccache -k cache_dir)}
    if ! mkdir -p "$CCACHE_DIR" 2>/dev/null || [ ! -w "$CCACHE_DIR" ]; then
        echo "build: cannot write the compiler cache $CCACHE_DIR; using $root/build-ccache" >&2
        export CCACHE_DIR=$root/build-ccache
        mkdir -p "$CCACHE_DIR"
    fi
    # Paths inside the tree are hashed relative to it, and the build folder is left out of the
    # hash, so a clone in another place (a CI job, another worktree) hits the same entries.
    # The price: an object taken from the cache names, in its debug information, the build
    # folder of the tree that compiled it first.
    export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root}
    if [ -z "${CCACHE_HASHDIR:-}" ]; then
        export CCACHE_NOHASHDIR=1
    fi
fi

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZOK_WERROR=ON \
    "${cmake_args[@]}" >/dev/null
jobs=${ZOK_BUILD_JOBS:-$(nproc)}
if [ ${#targets[@]} -eq 0 ]; then
    cmake --build "$build" -j "$jobs"
else
    cmake --build "$build" -j "$jobs" --target "${targets[@]}"
fi
