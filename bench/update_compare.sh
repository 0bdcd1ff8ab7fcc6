#!/usr/bin/env bash
# Times changing an archive against building it again, side by side, on the archive of the whole
# benchmark corpus: `zok update` putting a changed 1 MiB text file in place of its entry, and
# `zok update --only-changed` naming every input when none changed, each beside a full
# `zok create`. Checks that the updated archive is byte for byte the full build of the same
# files, and prints the figures as Markdown (also kept in WORK/update.md).
#
# Usage: bench/update_compare.sh [BUILD_DIR]
#   BUILD_DIR  a build tree configured with -DZOK_BUILD_BENCH=ON (default: build-bench; it is
#              configured and built when missing)
# Environment: RUNS, JOBS, BIG_MB, WORK as for bench/compare.sh.
set -euo pipefail

bench_targets=(zok)
source "$(dirname "$0")/common.sh"

mapfile -t files < <(set_files all)
input_bytes=$(cd "$corpus" && cat -- "${files[@]}" | wc -c)
(cd "$corpus" && cat -- "${files[@]}" >/dev/null)  # a warm cache for every command
base="$scratch/base.zok"
(cd "$corpus" && "$zok" create -q -j "$jobs" "$base" "${files[@]}")

# The changed file: manual.txt with its first line rewritten, the same size.
mkdir -p "$scratch/edit"
changed="$scratch/edit/manual.txt"
{ printf 'THE MANUAL, SECOND EDITION\n'; tail -c +28 "$corpus/text/manual.txt"; } >"$changed"

full="$scratch/full.zok"
replaced="$scratch/replaced.zok"
same="$scratch/same.zok"
start_commands
add_command create "rm -f '$full'" "$zok" create -q -j "$jobs" "$full" "${files[@]}"
add_command replace "cp '$base' '$replaced'" "$zok" update -q "$replaced" "$changed"
add_command only "cp '$base' '$same'" "$zok" update -q --only-changed "$same" "${files[@]}"
measure_all
read -r create_ms create_kb < <(median create)
read -r replace_ms replace_kb < <(median replace)
read -r only_ms only_kb < <(median only)

# The updates give what a full build of the same files gives.
expected="$scratch/expected.zok"
mapfile -t edited < <(printf '%s\n' "${files[@]}" | sed "s|^text/manual.txt\$|$changed|")
(cd "$corpus" && "$zok" create -q -j "$jobs" "$expected" "${edited[@]}")
verdict() { cmp -s "$1" "$2" && echo "same bytes" || echo "DIFFERENT"; }

report="$work/update.md"
{
    echo "Measured $(date -u +%Y-%m-%d) on $(machine); zok with $jobs threads;"
    echo "median of $runs runs; peak = largest resident set (/usr/bin/time). The archive of the"
    echo "whole corpus: ${#files[@]} files, $(mib "$input_bytes") MB, archive $(mib "$(size_of "$base")") MB."
    echo
    echo "| Operation | s | × create | peak MiB | result |"
    echo "|---|---:|---:|---:|---|"
    echo "| \`zok create\` of every file | $(seconds "$create_ms") | 1.00 | $(mib_kb "$create_kb") | |"
    echo "| \`zok update\` replacing manual.txt (1 MiB) | $(seconds "$replace_ms") |" \
        "$(ratio "$replace_ms" "$create_ms") | $(mib_kb "$replace_kb") | $(verdict "$replaced" "$expected") as a full build |"
    echo "| \`zok update --only-changed\` naming every file, none changed | $(seconds "$only_ms") |" \
        "$(ratio "$only_ms" "$create_ms") | $(mib_kb "$only_kb") | $(verdict "$same" "$base") as before |"
} >"$report"
cat "$report"
