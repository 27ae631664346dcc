#!/usr/bin/env bash
# Installs what the project needs, builds the release build and runs the game.
# With no display the game runs headless (SDL's offscreen driver).
set -euo pipefail
cd "$(dirname "$0")"
./scripts/packages.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DHB_BUILD_TESTS=OFF -DHB_BUILD_BENCH=OFF
cmake --build build/release --target velmoran
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${SDL_VIDEODRIVER:-}" ]; then
    export SDL_VIDEODRIVER=offscreen
fi
exec ./build/release/src/app/velmoran "$@"
