#!/usr/bin/env bash
# Builds ZOK Compressor and runs every test twice: a normal build with warnings as errors,
# then a build under AddressSanitizer and UndefinedBehaviorSanitizer. As root it also installs,
# uses and removes the Debian packages between the two.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"

export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

echo "== normal build (-Werror) =="
"$root/scripts/build.sh" "$root/build" -DZOK_WERROR=ON
ctest --test-dir "$root/build" --output-on-failure -j "$jobs"

if [ "$(id -u)" -eq 0 ]; then
    echo "== Debian packages: built, installed, used and removed =="
    "$root/scripts/package.sh" "$root/build" -DZOK_WERROR=ON
    "$root/scripts/check_packages.sh" "$root/build/packages"
else
    echo "== Debian packages: not installed and checked (that needs root) =="
fi

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build =="
"$root/scripts/build.sh" "$root/build-asan" -DZOK_WERROR=ON -DZOK_SANITIZE=ON \
    -DCMAKE_BUILD_TYPE=Debug
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp"
ctest --test-dir "$root/build-asan" --output-on-failure -j "$jobs"
