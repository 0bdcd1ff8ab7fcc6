#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a while, keeping the corpus.
# Usage: fuzz/run.sh [SECONDS_PER_TARGET] [TARGET...]   (targets: archive png bmp upgrade)
# Inputs that crash land in fuzz/regressions/<target>/; the test suite replays them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-600}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(archive png bmp upgrade)

build="$root/build-fuzz"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DZOK_BUILD_FUZZERS=ON -DZOK_BUILD_TESTS=OFF -DZOK_BUILD_GUI=OFF >/dev/null
cmake --build "$build" --target $(printf 'fuzz_%s ' "${targets[@]}")

for t in "${targets[@]}"; do
    work="$root/fuzz/corpus-work/$t"
    mkdir -p "$work" "$root/fuzz/regressions/$t"
    echo "== fuzz_$t for ${seconds}s =="
    (cd "$work" && "$build/fuzz/fuzz_$t" -max_total_time="$seconds" -rss_limit_mb=2048 \
        -timeout=20 -print_final_stats=1 \
        -artifact_prefix="$root/fuzz/regressions/$t/" "$work" "$root/fuzz/seeds/$t") \
        2>&1 | tee "$root/fuzz/corpus-work/$t.log" | grep -E '^#|stat::|ERROR|SUMMARY' | tail -n 12 ||
        echo "fuzz_$t stopped on a finding: see fuzz/regressions/$t/"
done
