# What the comparison scripts of bench/ share: the optimised build they run, the benchmark
# corpus, commands timed side by side and the figures' formats. Sourced, not run.
#
# Set before sourcing: bench_targets (the build's targets the script runs). Gives root, build,
# runs, jobs, big_mb, work, corpus, scratch and zok.
# Environment:
#   RUNS=3     rounds, each running every command once in turn; the median wall time is
#              reported
#   JOBS=N     threads (default: the number of cores)
#   BIG_MB=200 size of the corpus's one large file
#   WORK=/tmp/zok-compare  corpus and scratch folder, shared by the scripts

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(realpath -m "${1:-"$root/build-bench"}")
runs=${RUNS:-3}
jobs=${JOBS:-$(nproc)}
big_mb=${BIG_MB:-200}
work=${WORK:-/tmp/zok-compare}
corpus="$work/corpus"
scratch="$work/scratch"
zok="$build/cli/zok"

if [[ ! -x /usr/bin/time ]]; then
    echo "$(basename "$0"): /usr/bin/time is needed for peak memory (apt-get install time)" >&2
    exit 1
fi

# Build what the comparison runs, optimised.
if [[ ! -f "$build/CMakeCache.txt" ]]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZOK_BUILD_BENCH=ON \
        -DZOK_BUILD_TESTS=OFF -DZOK_BUILD_GUI=OFF >/dev/null
fi
cmake --build "$build" --target make_corpus "${bench_targets[@]}" >/dev/null

# The corpus is made once for each size of its large file and kind of corpus.
mkdir -p "$work"
corpus_stamp="$big_mb manual"
if [[ "$(cat "$work/corpus.stamp" 2>/dev/null)" != "$corpus_stamp" ]]; then
    echo "making the corpus in $corpus ..." >&2
    rm -rf "$corpus"
    "$build/bench/make_corpus" "$corpus" "$big_mb"
    echo "$corpus_stamp" >"$work/corpus.stamp"
fi

# The newest C++ standard library headers installed, copied once as the set "headers": hundreds
# of real source files, their names repeated across their folders.
headers_source=$(ls -d /usr/include/c++/[0-9]* 2>/dev/null | sort -V | tail -n 1 || true)
if [[ -n $headers_source && ! -d $corpus/headers ]]; then
    cp -r "$headers_source" "$corpus/headers"
fi

have() { command -v "$1" >/dev/null 2>&1; }

# The files of a set (text, headers, bin, pic, big, or all of them but the headers), relative
# to the corpus folder, in a stable order.
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

# Commands measured side by side: each of RUNS rounds runs every one of them once, in turn, so
# that a change in the machine's load falls on all of them alike.
#   add_command NAME PREPARE COMMAND...  PREPARE (a shell snippet) runs before each run, untimed
#   measure_all                          runs the rounds
#   median NAME                          prints "median-ms max-peak-kB"
names=()
declare -A prepare_of command_of samples
add_command() {
    local name=$1 prepare=$2
    shift 2
    names+=("$name")
    prepare_of[$name]=$prepare
    command_of[$name]=$(printf '%q ' "$@")
    samples[$name]=""
}
measure_all() {
    for ((r = 0; r < runs; r++)); do
        for name in "${names[@]}"; do
            bash -c "${prepare_of[$name]}"
            samples[$name]+="$(eval "run_once ${command_of[$name]}")"$'\n'
        done
    done
}
median() {
    printf '%s' "${samples[$1]}" | sort -n | awk '
        { ms[NR] = $1; if ($2 > peak) peak = $2 }
        END {
            median = (NR % 2) ? ms[(NR + 1) / 2] : (ms[NR / 2] + ms[NR / 2 + 1]) / 2
            printf "%d %d\n", median, peak
        }'
}
start_commands() {
    names=()
    samples=()
}

seconds() { awk -v ms="$1" 'BEGIN { printf "%.2f", ms / 1000 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else printf "-" }'; }
mib() { awk -v b="$1" 'BEGIN { printf "%.1f", b / 1048576 }'; }
mib_kb() { awk -v k="$1" 'BEGIN { printf "%.0f", k / 1024 }'; }
size_of() { if [[ -f $1 ]]; then stat -c %s "$1"; else echo 0; fi; }
machine() {
    local cpu mem
    cpu=$(awk -F': ' '/model name/ { print $2; exit }' /proc/cpuinfo)
    mem=$(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo)
    echo "$(nproc) cores ($cpu), $mem RAM"
}

rm -rf "$scratch"
mkdir -p "$scratch"
