#!/usr/bin/env bash
# The ABI of libzok.so is a promise: this compares the shared library of a build with the ABI
# recorded in packaging/abi/<soname>.abi.gz (libabigail's abidw/abidiff, Debian abigail-tools)
# and fails on any difference, so that a change to the public headers' types or functions is
# made on purpose: a compatible change (something added) by recording the ABI anew, an
# incompatible one by raising SOVERSION (packaging/CMakeLists.txt) and recording it for the new
# soname.
#
# Usage: scripts/abi.sh BUILD_DIR            compare (exit 1 on a difference, with the report)
#        scripts/abi.sh BUILD_DIR --update   record the build's ABI
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:?usage: scripts/abi.sh BUILD_DIR [--update]}
library=$(ls "$build"/packaging/libzok.so.*.*.* 2>/dev/null | head -n 1)
if [ -z "$library" ]; then
    echo "abi: no libzok.so in $build/packaging (build the target zok_shared)" >&2
    exit 1
fi
for tool in abidw abidiff; do
    command -v "$tool" >/dev/null || { echo "abi: $tool is missing (apt-get install abigail-tools)" >&2; exit 1; }
done
soname=$(readelf -d "$library" | sed -n 's/.*Library soname: \[\(.*\)\]/\1/p')
record="$root/packaging/abi/$soname.abi.gz"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Only the public headers' types, without paths or source lines that differ between trees.
abidw --no-corpus-path --no-comp-dir-path --no-show-locs --drop-private-types \
    --drop-undefined-syms --type-id-style hash --headers-dir "$root/include/zok" \
    --out-file "$work/current.abi" "$library"
if [ "${2:-}" = "--update" ]; then
    gzip -9 -n -c "$work/current.abi" >"$record"
    echo "abi: recorded the ABI of $soname in ${record#"$root"/}"
    exit 0
fi
if [ ! -f "$record" ]; then
    echo "abi: no ABI is recorded for $soname (${record#"$root"/}); record it with" >&2
    echo "     scripts/abi.sh $build --update" >&2
    exit 1
fi
gzip -d -c "$record" >"$work/recorded.abi"
status=0
abidiff --no-show-locs "$work/recorded.abi" "$work/current.abi" >"$work/report" || status=$?
if [ "$status" -ne 0 ]; then
    cat "$work/report"
    if [ $((status & 8)) -ne 0 ]; then
        echo "abi: $soname changed incompatibly: raise SOVERSION, then record the new ABI" >&2
    else
        echo "abi: the ABI of $soname changed; when that is meant, record it with" >&2
        echo "     scripts/abi.sh $build --update" >&2
    fi
    exit 1
fi
echo "abi: $soname matches its record"
