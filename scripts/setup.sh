#!/usr/bin/env bash
# Installs the Debian packages needed to build, run and test ZOK Compressor.
# Run as root on a fresh Debian 12 machine; does nothing when everything is present.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config ccache clang-format
    zlib1g-dev libpng-dev libcli11-dev libgtest-dev libgmock-dev libbenchmark-dev
    qt6-base-dev qt6-translations-l10n libgl1-mesa-dev fonts-nanum xvfb xauth
    dpkg-dev file desktop-file-utils man-db groff-base abigail-tools python3
    python3-dev pybind11-dev python3-pybind11 python3-numpy python3-pytest
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi
if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages: ${missing[*]}" >&2
    echo "Install them with: sudo apt-get install ${missing[*]}" >&2
    exit 1
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
