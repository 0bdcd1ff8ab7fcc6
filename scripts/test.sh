#!/usr/bin/env bash
# Builds ZOK Compressor and runs every test, building each configuration once:
#   1. the normal build in build/ (warnings as errors; the same flags as scripts/run.sh and
#      scripts/package.sh, so their builds are reused), its suites and the installed library;
#   2. as root, the Debian packages from that build: installed, used and removed;
#   3. a build under AddressSanitizer and UndefinedBehaviorSanitizer in build-asan/ and its suites.
# The compiler cache (ccache) serves every build; what it gave is printed at the end.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"

export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)
CCACHE_STATSLOG=$(mktemp)
export CCACHE_STATSLOG
trap 'rm -f "$CCACHE_STATSLOG"' EXIT
started=$SECONDS
phase_started=$SECONDS
phase() {
    echo "   ($((SECONDS - phase_started)) s)"
    phase_started=$SECONDS
    echo "== $* =="
}

echo "== normal build (-Werror) =="
"$root/scripts/build.sh" "$root/build"
# The third-party picture corpora: their tests skip (and ctest says so) when they are missing.
testdata=$(sed -n 's/^ZOK_TESTDATA_DIR:PATH=//p' "$root/build/CMakeCache.txt")
for corpus in pngsuite bmpsuite; do
    if [ ! -d "$testdata/$corpus" ]; then
        echo "NOTE: $testdata/$corpus is missing: its tests are SKIPPED (README: Test data)"
    fi
done
ctest --test-dir "$root/build" --output-on-failure -j "$jobs"

if [ "$(id -u)" -eq 0 ]; then
    phase "Debian packages: built, installed, used and removed"
    "$root/scripts/package.sh" "$root/build"
    "$root/scripts/check_packages.sh" "$root/build/packages"
else
    phase "Debian packages: not installed and checked (that needs root)"
fi

phase "AddressSanitizer + UndefinedBehaviorSanitizer build"
"$root/scripts/build.sh" "$root/build-asan" -DZOK_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp"
ctest --test-dir "$root/build-asan" --output-on-failure -j "$jobs"

phase "done"
if command -v ccache >/dev/null 2>&1; then
    echo "compiler cache in this run:"
    ccache --show-log-stats | sed -n 's/^ *\(Hits\|Misses\): */  \1: /p'
fi
echo "scripts/test.sh passed in $((SECONDS - started)) s"
