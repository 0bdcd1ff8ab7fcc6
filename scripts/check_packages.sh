#!/usr/bin/env bash
# Installs the Debian packages of PACKAGE_DIR (made by scripts/package.sh) with apt, uses what
# they install, removes them again and checks that nothing of them is left on the system.
# Run as root, on a machine where they are not installed yet (CI runs it in scripts/test.sh).
# Usage: scripts/check_packages.sh [PACKAGE_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
packages_dir=$(cd "${1:-"$root/build/packages"}" && pwd)
names=(zok zok-compressor libzok2 libzok-dev python3-zok)

if [ "$(id -u)" -ne 0 ]; then
    echo "check_packages: must run as root (it installs and removes packages)" >&2
    exit 1
fi
for name in "${names[@]}"; do
    if dpkg-query -W -f='${Status}' "$name" 2>/dev/null | grep -q "ok installed"; then
        echo "check_packages: $name is installed already; leaving this system alone" >&2
        exit 0
    fi
done

failures=0
fail() {
    echo "check_packages: FAILED: $*" >&2
    failures=$((failures + 1))
}
work=$(mktemp -d)
apt_get() {
    DEBIAN_FRONTEND=noninteractive apt-get -q -y -o DPkg::Lock::Timeout=120 "$@"
}
remove_packages() {
    apt_get purge "${names[@]}" >"$work/purge.log" 2>&1 || { cat "$work/purge.log"; return 1; }
}
cleanup() {
    # Never leave the packages behind, whatever failed.
    if grep -q "ok installed" <<<"$(dpkg-query -W -f='${Status}\n' "${names[@]}" 2>/dev/null)"; then
        remove_packages || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# Files named after ZOK and the desktop, MIME and icon databases before anything is installed.
zok_files() {
    find /usr /etc /opt /var/lib/dpkg/info -name '*zok*' 2>/dev/null | sort
}
databases=(/usr/share/applications/mimeinfo.cache /usr/share/mime/globs2 /usr/share/mime/types
           /usr/share/icons/hicolor/icon-theme.cache)
zok_files >"$work/before"

echo "-- apt-get install ./*.deb"
if ! apt_get install --no-install-recommends "$packages_dir"/*.deb >"$work/install.log" 2>&1; then
    cat "$work/install.log"
    fail "the packages do not install"
    exit 1
fi

echo "-- using what was installed"
expect_output() {  # expect_output WANTED COMMAND...
    local wanted=$1 got
    shift
    if ! got=$("$@" 2>&1); then
        fail "'$*' exits with an error: $got"
        return
    fi
    got=${got%"${got##*[![:space:]]}"}  # pkg-config ends its line with a space
    if [ "$got" != "$wanted" ]; then
        fail "'$*' printed '$got', not '$wanted'"
    fi
}
expect_output "zok (ZOK Compressor 응용 프로그램) 1.1.1.0" zok --version
expect_output "zok-compressor (ZOK Compressor 응용 프로그램) 1.1.1.0" \
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM zok-compressor --version
expect_output "-lzok" pkg-config --libs zok
expect_output "" desktop-file-validate /usr/share/applications/zok-compressor.desktop
grep -q "^  upgrade" <<<"$(zok --help)" || fail "zok --help does not list the commands"
if grep -rqsE "^path-exclude[= ]+/usr/share/man" /etc/dpkg/dpkg.cfg.d/; then
    # Slim container images tell dpkg to leave every manual page out: read it from the package.
    echo "-- dpkg leaves manual pages out here: man -l on the page in the zok package"
    dpkg-deb --fsys-tarfile "$packages_dir"/zok_*.deb |
        tar -xO ./usr/share/man/man1/zok.1.gz >"$work/zok.1.gz"
    man_text=$(MANWIDTH=200 man -P cat -l "$work/zok.1.gz" 2>&1) || fail "man -l: $man_text"
else
    man_text=$(MANWIDTH=200 man -P cat zok 2>&1) || fail "man zok: $man_text"
fi
for word in "EXIT STATUS" "zok create" "zok list" "zok cat" "zok extract" "zok bitmap" \
            "zok test" "zok upgrade" "--overwrite"; do
    grep -qF -- "$word" <<<"$man_text" || fail "man zok does not show '$word'"
done
# grep -q reads the whole text: on a pipe it would stop the writer early, and pipefail would
# count that SIGPIPE as a failure.
grep -q "libzok.so.2 " <<<"$(ldconfig -p)" || fail "libzok.so.2 is not in the dynamic linker's cache"
grep -q "^application/x-zok=zok-compressor.desktop" /usr/share/applications/mimeinfo.cache ||
    fail "the desktop database does not know that zok-compressor opens .zok files"
grep -q ":application/x-zok:\*\.zok$" /usr/share/mime/globs2 ||
    fail "the MIME database does not know *.zok"
icon_cache=/usr/share/icons/hicolor/icon-theme.cache
if [ -f "$icon_cache" ] && ! grep -qa "zok-compressor" "$icon_cache"; then
    fail "the icon cache does not hold the zok-compressor icon"
fi
# The installed development files in use: the consumer project against /usr, found with
# find_package and with pkg-config (zok and zok-static), each checking which library it loaded.
for finder in cmake pkg-config; do
    option=-DZOK_USE_PKG_CONFIG=$([ "$finder" = pkg-config ] && echo ON || echo OFF)
    if ! { cmake -S "$root/tests/consumer" -B "$work/consumer-$finder" -G Ninja \
               -DZOK_EXPECTED_PREFIX=/usr "$option" &&
           cmake --build "$work/consumer-$finder" &&
           ctest --test-dir "$work/consumer-$finder" --output-on-failure; } \
        >"$work/consumer.log" 2>&1; then
        cat "$work/consumer.log"
        fail "tests/consumer does not build and pass against the installed libzok-dev ($finder)"
    fi
done
# The README's static link, as a shell types it: the program must not need libzok.so.
# shellcheck disable=SC2046 # pkg-config's output is meant to be split into words
if c++ -std=c++17 "$root/tests/consumer/example.cpp" $(pkg-config --cflags --libs zok-static) \
       -o "$work/example-static" >"$work/static.log" 2>&1; then
    if grep -q "libzok" <<<"$(readelf -d "$work/example-static")"; then
        fail "a program linked with pkg-config --libs zok-static needs libzok.so"
    fi
else
    cat "$work/static.log"
    fail "tests/consumer/example.cpp does not link with pkg-config --libs zok-static"
fi

# The Python module, with the system's python3 (not another one that comes first on PATH): its
# help, and an archive packed and read back through it.
python=/usr/bin/python3
if ! help_text=$(cd "$work" && "$python" -c "import zok; help(zok)" 2>&1); then
    fail "python3 -c 'import zok; help(zok)': $help_text"
elif ! grep -q "ZOK archives from Python" <<<"$help_text"; then
    fail "help(zok) does not show the module's documentation"
fi
printf 'pipeline\n%.0s' {1..50} >"$work/notes.txt"
if ! (cd "$work" && "$python" -c '
import zok
zok.create("notes.zok", ["notes.txt"])
with zok.open("notes.zok") as archive:
    assert archive.read("NOTES.TXT") == open("notes.txt", "rb").read()
    assert archive.check() == []
') >"$work/python.log" 2>&1; then
    cat "$work/python.log"
    fail "the installed module does not pack and read an archive"
fi

echo "-- apt-get purge"
remove_packages || fail "the packages do not remove cleanly"
zok_files >"$work/after"
if ! diff "$work/before" "$work/after" >"$work/left"; then
    fail "files left behind or removed: $(cat "$work/left")"
fi
for database in "${databases[@]}"; do
    if [ -f "$database" ] && grep -qa "zok" "$database"; then
        fail "$database still names ZOK"
    fi
done
if man -w zok >/dev/null 2>&1; then
    fail "man zok still finds a page"
fi

if [ "$failures" -ne 0 ]; then
    exit 1
fi
echo "check_packages: ${names[*]} installed, used and removed cleanly"
