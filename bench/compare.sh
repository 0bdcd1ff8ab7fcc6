#!/usr/bin/env bash
# Times `zok create` against `zip -5` and `tar | pigz -5`, and `zok extract` against `unzip`,
# on a deterministic corpus, and prints the figures as Markdown (also kept in WORK/results.md).
#
# Usage: bench/compare.sh [BUILD_DIR]
#   BUILD_DIR  a build tree configured with -DZOK_BUILD_BENCH=ON (default: build-bench; it is
#              configured and built when missing)
# Environment:
#   RUNS=3     runs of each command; the median wall time is reported
#   JOBS=N     threads for zok and pigz (default: the number of cores)
#   BIG_MB=200 size of the one large file
#   WORK=/tmp/zok-compare  corpus and scratch folder
# Tools that are not installed (zip, unzip, pigz) are left out of the table.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-"$root/build-bench"}")
runs=${RUNS:-3}
jobs=${JOBS:-$(nproc)}
big_mb=${BIG_MB:-200}
work=${WORK:-/tmp/zok-compare}

if [[ ! -x /usr/bin/time ]]; then
    echo "compare.sh: /usr/bin/time is needed for peak memory (apt-get install time)" >&2
    exit 1
fi

# Build what the comparison runs, optimised.
if [[ ! -f "$build/CMakeCache.txt" ]]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZOK_BUILD_BENCH=ON \
        -DZOK_BUILD_TESTS=OFF -DZOK_BUILD_GUI=OFF >/dev/null
fi
cmake --build "$build" --target zok make_corpus picture_limit >/dev/null
zok="$build/cli/zok"

have() { command -v "$1" >/dev/null 2>&1; }
has_extract=0
if "$zok" extract --help >/dev/null 2>&1; then
    has_extract=1
fi

corpus="$work/corpus"
scratch="$work/scratch"
mkdir -p "$work"
if [[ "$(cat "$work/corpus.stamp" 2>/dev/null)" != "$big_mb" ]]; then
    echo "making the corpus in $corpus ..." >&2
    rm -rf "$corpus"
    "$build/bench/make_corpus" "$corpus" "$big_mb"
    echo "$big_mb" >"$work/corpus.stamp"
fi

# The files of a set, relative to the corpus folder, in a stable order.
set_files() {
    if [[ $1 == all ]]; then
        (cd "$corpus" && find text bin pic big -type f | LC_ALL=C sort)
    else
        (cd "$corpus" && find "$1" -type f | LC_ALL=C sort)
    fi
}

# Runs a command once from the corpus folder; prints "milliseconds peak-kilobytes".
run_once() {
    local start end
    start=$(date +%s%N)
    (cd "$corpus" && /usr/bin/time -f "%M" -o "$scratch/rss" "$@") >/dev/null
    end=$(date +%s%N)
    echo "$(((end - start) / 1000000)) $(tail -n 1 "$scratch/rss")"
}

# measure PREPARE COMMAND...: RUNS runs, PREPARE (a shell snippet) before each one, untimed.
# Prints "median-ms max-peak-kB".
measure() {
    local prepare=$1
    shift
    local results=()
    for ((r = 0; r < runs; r++)); do
        bash -c "$prepare"
        results+=("$(run_once "$@")")
    done
    printf '%s\n' "${results[@]}" | sort -n | awk '
        { ms[NR] = $1; if ($2 > peak) peak = $2 }
        END {
            median = (NR % 2) ? ms[(NR + 1) / 2] : (ms[NR / 2] + ms[NR / 2 + 1]) / 2
            printf "%d %d\n", median, peak
        }'
}

seconds() { awk -v ms="$1" 'BEGIN { printf "%.2f", ms / 1000 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else printf "-" }'; }
mib() { awk -v b="$1" 'BEGIN { printf "%.1f", b / 1048576 }'; }
mib_kb() { awk -v k="$1" 'BEGIN { printf "%.0f", k / 1024 }'; }
size_of() { if [[ -f $1 ]]; then stat -c %s "$1"; else echo 0; fi; }

rm -rf "$scratch"
mkdir -p "$scratch"
cpu=$(awk -F': ' '/model name/ { print $2; exit }' /proc/cpuinfo)
mem=$(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo)
load_before=$(cut -d' ' -f1-3 /proc/loadavg)

report="$work/results.md"
{
    echo "Measured $(date -u +%Y-%m-%d) on $(nproc) cores ($cpu), $mem RAM; zok and pigz with"
    echo "$jobs threads; median of $runs runs; peak = largest resident set (/usr/bin/time)."
    echo "Load average before the run: $load_before."
    echo
    header="| Files | Input MB | zok -j $jobs s | zok -j 1 s"
    rule="|---|---:|---:|---:"
    if have zip; then
        header+=" | zip -5 s | zok / zip"
        rule+="|---:|---:"
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
for set in text bin pic big all; do
    mapfile -t files < <(set_files "$set")
    count=${#files[@]}
    input_bytes=$(cd "$corpus" && cat -- "${files[@]}" | wc -c)
    # Read everything once so that every tool starts from a warm cache.
    (cd "$corpus" && cat -- "${files[@]}" >/dev/null)

    out_zok="$scratch/$set.zok"
    read -r zok_ms zok_kb < <(measure "rm -f '$out_zok'" "$zok" create -j "$jobs" "$out_zok" "${files[@]}")
    read -r one_ms _ < <(measure "rm -f '$out_zok'" "$zok" create -j 1 "$out_zok" "${files[@]}")
    zok_archive[$set]=$out_zok
    row="| $set ($count) | $(mib "$input_bytes") | $(seconds "$zok_ms") | $(seconds "$one_ms")"
    if have zip; then
        out_zip="$scratch/$set.zip"
        read -r zip_ms zip_kb < <(measure "rm -f '$out_zip'" zip -5 -q "$out_zip" "${files[@]}")
        zip_archive[$set]=$out_zip
        row+=" | $(seconds "$zip_ms") | $(ratio "$zok_ms" "$zip_ms")"
    fi
    if have pigz; then
        out_tgz="$scratch/$set.tgz"
        list="$scratch/$set.list"
        printf '%s\n' "${files[@]}" >"$list"
        read -r tgz_ms _ < <(measure "rm -f '$out_tgz'" bash -c \
            "tar cf - -T '$list' | pigz -5 -p $jobs >'$out_tgz'")
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
    echo "done: $set" >&2

    if [[ $set == pic ]]; then
        limit_ms=()
        for ((r = 0; r < runs; r++)); do
            s=$(cd "$corpus" && "$build/bench/picture_limit" -j "$jobs" "${files[@]}")
            limit_ms+=("$(awk -v s="$s" 'BEGIN { printf "%d", s * 1000 }')")
        done
        pic_limit=$(printf '%s\n' "${limit_ms[@]}" | sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }')
        pic_zok=$zok_ms
    fi
done

{
    echo
    echo "Pictures: libpng decode + re-encode of the same pictures at the entry settings on $jobs"
    echo "threads (bench/picture_limit) takes $(seconds "$pic_limit") s; \`zok create\` takes"
    echo "$(ratio "$pic_zok" "$pic_limit") × that."
} >>"$report"

if [[ $has_extract == 1 ]] && have zip && have unzip; then
    {
        echo
        echo "| Extract | zok extract s | unzip -q s | zok / unzip | zok peak MiB | unzip peak MiB |"
        echo "|---|---:|---:|---:|---:|---:|"
    } >>"$report"
    dest="$scratch/extracted"
    for set in text bin pic big all; do
        read -r zx_ms zx_kb < <(measure "rm -rf '$dest'; mkdir -p '$dest'" "$zok" extract -C "$dest" "${zok_archive[$set]}")
        read -r ux_ms ux_kb < <(measure "rm -rf '$dest'; mkdir -p '$dest'" unzip -q -o "${zip_archive[$set]}" -d "$dest")
        echo "| $set | $(seconds "$zx_ms") | $(seconds "$ux_ms") | $(ratio "$zx_ms" "$ux_ms") | $(mib_kb "$zx_kb") | $(mib_kb "$ux_kb") |" >>"$report"
    done
    rm -rf "$dest"
elif [[ $has_extract == 0 ]]; then
    echo -e "\n\`zok extract\` is not available in this build; extraction was not compared." >>"$report"
fi

echo -e "\nLoad average after the run: $(cut -d' ' -f1-3 /proc/loadavg)." >>"$report"
cat "$report"
