#!/usr/bin/env bash
# Times `zok create` against `zip -5`, `tar | pigz -5` and the limit of its codec work alone
# (bench/pack_limit), and `zok extract` against `unzip`, on a deterministic corpus; counts the
# system calls `zok create` makes per input (with strace, when installed) and prints each
# archive's checksum. Prints the figures as Markdown (also kept in WORK/results.md).
#
# Usage: bench/compare.sh [BUILD_DIR]
#   BUILD_DIR  a build tree configured with -DZOK_BUILD_BENCH=ON (default: build-bench; it is
#              configured and built when missing)
# Environment:
#   RUNS=3     rounds, each running every command once in turn; the median wall time is
#              reported
#   JOBS=N     threads for zok and pigz (default: the number of cores)
#   BIG_MB=200 size of the one large file
#   WORK=/tmp/zok-compare  corpus and scratch folder
#   BASE_ZOK=PATH  another build's zok (say, of main): its archives' checksums are compared
# Tools that are not installed (zip, unzip, pigz, strace) are left out of the tables.
set -euo pipefail

bench_targets=(zok pack_limit)
source "$(dirname "$0")/common.sh"

has_extract=0
if "$zok" extract --help >/dev/null 2>&1; then
    has_extract=1
fi
load_before=$(cut -d' ' -f1-3 /proc/loadavg)

report="$work/results.md"
{
    echo "Measured $(date -u +%Y-%m-%d) on $(machine); zok and pigz with"
    echo "$jobs threads; median of $runs runs; peak = largest resident set (/usr/bin/time)."
    echo "Load average before the run: $load_before."
    echo
    header="| Files | Input MB | zok -j $jobs s | zok -j 1 s | limit s | zok / limit"
    rule="|---|---:|---:|---:|---:|---:"
    if have zip; then
        header+=" | zip -5 s | zok / zip | limit / zip"
        rule+="|---:|---:|---:"
    fi
    if have pigz; then
        header+=" | tar \\| pigz -5 s"
        rule+="|---:"
    fi
    header+=" | zok MB"
    rule+="|---:"
    if have zip; then
        header+=" | zip MB"
        rule+="|---:"
    fi
    if have pigz; then
        header+=" | tgz MB"
        rule+="|---:"
    fi
    header+=" | zok peak MiB"
    rule+="|---:"
    if have zip; then
        header+=" | zip peak MiB"
        rule+="|---:"
    fi
    echo "$header |"
    echo "$rule|"
} >"$report"

declare -A zok_archive zip_archive
calls="$work/calls.md"
: >"$calls"

# Calls of some kinds in a strace -c summary: calls FILE SYSCALL...
calls_in() {
    local file=$1
    shift
    awk -v names=" $* " '$NF ~ /^[a-z_0-9]+$/ && index(names, " " $NF " ") { n += $4 }
        END { print n + 0 }' "$file"
}
# The process's own calls are those of a build of two empty files; what a build of INPUTS
# files makes beyond them is shared out among its other inputs: count FILE INPUTS SYSCALL...
base_calls="$scratch/strace-base"
if have strace; then
    : >"$scratch/empty1.txt"
    : >"$scratch/empty2.txt"
    strace -f -c -o "$base_calls" "$zok" create -j "$jobs" "$scratch/empty.zok" \
        "$scratch/empty1.txt" "$scratch/empty2.txt" >/dev/null 2>&1
fi
count() {
    local file=$1 inputs=$2
    shift 2
    if ((inputs <= 2)); then
        echo "-"
        return
    fi
    awk -v a="$(calls_in "$file" "$@")" -v b="$(calls_in "$base_calls" "$@")" -v n="$inputs" \
        'BEGIN { printf "%.2f", (a - b) / (n - 2) }'
}
digest() { sha256sum "$1" | cut -c1-16; }
sets=(text)
if [[ -d $corpus/headers ]]; then
    sets+=(headers)
fi
sets+=(bin pic big all)
for set in "${sets[@]}"; do
    mapfile -t files < <(set_files "$set")
    count=${#files[@]}
    input_bytes=$(cd "$corpus" && cat -- "${files[@]}" | wc -c)
    # Read everything once so that every tool starts from a warm cache.
    (cd "$corpus" && cat -- "${files[@]}" >/dev/null)

    out_zok="$scratch/$set.zok"
    out_one="$scratch/$set-1.zok"
    out_zip="$scratch/$set.zip"
    out_tgz="$scratch/$set.tgz"
    list="$scratch/$set.list"
    printf '%s\n' "${files[@]}" >"$list"
    start_commands
    add_command zok "rm -f '$out_zok'" "$zok" create -j "$jobs" --allow-duplicate-names "$out_zok" "${files[@]}"
    add_command one "rm -f '$out_one'" "$zok" create -j 1 --allow-duplicate-names "$out_one" "${files[@]}"
    add_command limit ":" "$build/bench/pack_limit" -j "$jobs" "${files[@]}"
    if have zip; then
        add_command zip "rm -f '$out_zip'" zip -5 -q "$out_zip" "${files[@]}"
    fi
    if have pigz; then
        add_command tgz "rm -f '$out_tgz'" bash -c "tar cf - -T '$list' | pigz -5 -p $jobs >'$out_tgz'"
    fi
    measure_all
    read -r zok_ms zok_kb < <(median zok)
    read -r one_ms _ < <(median one)
    read -r limit_ms _ < <(median limit)
    sum_jobs=$(digest "$out_zok")
    same_one=$([[ $(digest "$out_one") == "$sum_jobs" ]] && echo same || echo DIFFERENT)
    zok_archive[$set]=$out_zok
    row="| $set ($count) | $(mib "$input_bytes") | $(seconds "$zok_ms") | $(seconds "$one_ms")"
    row+=" | $(seconds "$limit_ms") | $(ratio "$zok_ms" "$limit_ms")"
    if have zip; then
        read -r zip_ms zip_kb < <(median zip)
        zip_archive[$set]=$out_zip
        row+=" | $(seconds "$zip_ms") | $(ratio "$zok_ms" "$zip_ms") | $(ratio "$limit_ms" "$zip_ms")"
    fi
    if have pigz; then
        read -r tgz_ms _ < <(median tgz)
        row+=" | $(seconds "$tgz_ms")"
    fi
    row+=" | $(mib "$(size_of "$out_zok")")"
    if have zip; then
        row+=" | $(mib "$(size_of "$out_zip")")"
    fi
    if have pigz; then
        row+=" | $(mib "$(size_of "$out_tgz")")"
    fi
    row+=" | $(mib_kb "$zok_kb")"
    if have zip; then
        row+=" | $(mib_kb "$zip_kb")"
    fi
    echo "$row |" >>"$report"

    # The same build once more under strace, and once with the other zok.
    crow="| $set"
    if have strace; then
        rm -f "$out_zok"
        (cd "$corpus" && strace -f -c -o "$scratch/strace" "$zok" create -j "$jobs" --allow-duplicate-names "$out_zok" \
            "${files[@]}" >/dev/null 2>&1)
        st="$scratch/strace"
        crow+=" | $(count "$st" "$count" openat open) | $(count "$st" "$count" newfstatat fstat \
            fstatat64 stat lstat statx) | $(count "$st" "$count" lseek)"
        crow+=" | $(count "$st" "$count" read pread64 readv preadv)"
        crow+=" | $(count "$st" "$count" close) | $(count "$st" "$count" futex)"
    fi
    crow+=" | \`$sum_jobs\` | $same_one"
    if [[ -n ${BASE_ZOK:-} ]]; then
        rm -f "$scratch/base.zok"
        (cd "$corpus" && "$BASE_ZOK" create -j "$jobs" --allow-duplicate-names "$scratch/base.zok" "${files[@]}" >/dev/null 2>&1)
        crow+=" | $([[ $(digest "$scratch/base.zok") == "$sum_jobs" ]] && echo same || echo DIFFERENT)"
    fi
    echo "$crow |" >>"$calls"
    echo "done: $set" >&2
done

{
    echo
    echo "Limit: the same files read and packed in memory on $jobs threads, as their entries would"
    echo "be, without the archive (bench/pack_limit: pictures re-encoded with libpng, other files"
    echo "deflated through one zlib state per thread)."
    if [[ -d $corpus/headers ]]; then
        echo "headers: the C++ standard library's headers of this machine ($headers_source); names"
        echo "that recur in their folders are packed with --allow-duplicate-names."
    fi
    echo
    header="| Files"
    rule="|---"
    if have strace; then
        header+=" | openat | fstat-like | lseek | read | close | futex"
        rule+="|---:|---:|---:|---:|---:|---:"
    fi
    header+=" | archive sha256 (-j $jobs) | -j 1"
    rule+="|---|---"
    if [[ -n ${BASE_ZOK:-} ]]; then
        header+=" | BASE_ZOK"
        rule+="|---"
    fi
    echo "$header |"
    echo "$rule|"
    cat "$calls"
    if have strace; then
        echo
        echo "System calls per input of \`zok create -j $jobs\` (strace -f -c), beyond those of a build"
        echo "of two empty files (the process's own); fstat-like: newfstatat, fstat, stat, lstat, statx"
        echo "(one when the input is opened and checked, one after its read, for the change check)."
    fi
} >>"$report"

if [[ $has_extract == 1 ]] && have zip && have unzip; then
    {
        echo
        echo "| Extract | zok extract s | unzip -q s | zok / unzip | zok peak MiB | unzip peak MiB |"
        echo "|---|---:|---:|---:|---:|---:|"
    } >>"$report"
    dest="$scratch/extracted"
    for set in text bin pic big all; do
        start_commands
        add_command zx "rm -rf '$dest'; mkdir -p '$dest'" "$zok" extract -C "$dest" "${zok_archive[$set]}"
        add_command ux "rm -rf '$dest'; mkdir -p '$dest'" unzip -q -o "${zip_archive[$set]}" -d "$dest"
        measure_all
        read -r zx_ms zx_kb < <(median zx)
        read -r ux_ms ux_kb < <(median ux)
        echo "| $set | $(seconds "$zx_ms") | $(seconds "$ux_ms") | $(ratio "$zx_ms" "$ux_ms") | $(mib_kb "$zx_kb") | $(mib_kb "$ux_kb") |" >>"$report"
    done
    rm -rf "$dest"
elif [[ $has_extract == 0 ]]; then
    echo -e "\n\`zok extract\` is not available in this build; extraction was not compared." >>"$report"
fi

echo -e "\nLoad average after the run: $(cut -d' ' -f1-3 /proc/loadavg)." >>"$report"
cat "$report"
