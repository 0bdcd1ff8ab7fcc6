#!/usr/bin/env bash
# Builds the library, the command-line tool and their test suites (archive, codecs, job, cli)
# under ThreadSanitizer in BUILD_DIR (build-tsan/) and runs them. Every report of a race,
# also from the zok processes the cli tests start, fails the run and is printed at the end.
# Usage: scripts/tsan.sh [BUILD_DIR] [ctest args...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$root/build-tsan"}
shift || true
"$root/scripts/setup.sh"

started=$SECONDS
"$root/scripts/build.sh" "$build" -DZOK_TSAN=ON -- archive_tests codec_tests job_tests cli_tests
echo "tsan: built in $((SECONDS - started)) s"

reports=$build/tsan-reports
rm -rf "$reports"
mkdir -p "$reports"
# Reports go to files (one per process), so that none is lost in a child's captured stderr.
export TSAN_OPTIONS="log_path=$reports/race:exitcode=66:halt_on_error=0:second_deadlock_stack=1"
run=()
if [ "$(cat /proc/sys/vm/mmap_rnd_bits 2>/dev/null || echo 28)" -gt 28 ]; then
    # This ThreadSanitizer cannot map its shadow memory beside addresses randomised this widely.
    run=(setarch "$(uname -m)" -R)
fi
status=0
"${run[@]}" ctest --test-dir "$build" --output-on-failure -j "$(nproc)" "$@" || status=$?

if compgen -G "$reports/race.*" >/dev/null; then
    echo "tsan: ThreadSanitizer reports:"
    cat "$reports"/race.*
    status=1
fi
echo "tsan: $((SECONDS - started)) s"
exit "$status"
