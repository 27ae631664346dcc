#!/usr/bin/env bash
# Installs the Debian packages the project needs. The only place that lists
# them: run.sh, test.sh and CI all call this script.
set -euo pipefail

PACKAGES=(
    build-essential
    cmake
    ninja-build
    pkg-config
    ccache
    libsdl2-dev
    libgl-dev
    libopengl-dev
    libegl-dev
    libgl1-mesa-dri
    libegl-mesa0
    libgtest-dev
    libgmock-dev
    libbenchmark-dev
    libpng-dev
    libopenal-dev
    libsndfile1-dev
    libavformat-dev
    libavcodec-dev
    libavutil-dev
    libswscale-dev
    zlib1g-dev
    locales
    python3.11
    libpython3.11-dev
    python3-greenlet
    python-greenlet-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
