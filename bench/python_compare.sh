#!/usr/bin/env bash
# Reads every entry of the benchmark corpus's archive through the C++ API (bench/read_entries)
# and through the Python module (bench/python_read.py), side by side, and prints the figures as
# Markdown: the module's time over the C++ API's for the same entries. On a shared machine the
# two take turns, round by round, and each reports its fastest pass, so that a change in load
# falls on both alike.
#
# Usage: bench/python_compare.sh [BUILD_DIR]
#   BUILD_DIR  a build tree configured with -DZOK_BUILD_BENCH=ON (default: build-bench; it is
#              configured and built when missing)
# Environment:
#   PASSES=5   passes over the archive in each program run
#   ROUNDS=3   runs of each program, taking turns; the fastest pass of all is reported
#   BIG_MB=200 size of the corpus's one large file
#   WORK=/tmp/zok-compare  corpus and scratch folder (shared with bench/compare.sh)
set -euo pipefail

passes=${PASSES:-5}
rounds=${ROUNDS:-3}
python=${PYTHON:-/usr/bin/python3}
bench_targets=(zok read_entries _zok)
source "$(dirname "$0")/common.sh"

archive="$work/python-read.zok"
"$build/cli/zok" create "$archive" "$corpus"/{text,bin,pic,big} >/dev/null

echo "| Read | entries | MB | C++ API s | Python s | Python / C++ |"
echo "|---|---:|---:|---:|---:|---:|"
entries=$("$build/cli/zok" list --json "$archive" | grep -o '"name"' | wc -l)
fastest() { printf '%s\n' "$@" | sort -g | head -n 1; }
for mode in whole stream picture; do
    cpp_times=()
    py_times=()
    for ((round = 0; round < rounds; round++)); do
        read -r cpp_s cpp_bytes < <("$build/bench/read_entries" "$archive" "$mode" "$passes")
        read -r py_s py_bytes < <(PYTHONPATH="$build/python" "$python" \
            "$root/bench/python_read.py" "$archive" "$mode" "$passes")
        if [[ "$cpp_bytes" != "$py_bytes" ]]; then
            echo "python_compare: $mode: C++ gave $cpp_bytes bytes, Python $py_bytes" >&2
            exit 1
        fi
        cpp_times+=("$cpp_s")
        py_times+=("$py_s")
    done
    cpp_s=$(fastest "${cpp_times[@]}")
    py_s=$(fastest "${py_times[@]}")
    awk -v m="$mode" -v n="$entries" -v b="$cpp_bytes" -v c="$cpp_s" -v p="$py_s" 'BEGIN {
        printf "| %s | %d | %.1f | %.3f | %.3f | %.2f |\n", m, n, b / 1e6, c, p, p / c }'
done
