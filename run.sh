#!/usr/bin/env bash
# Installs what the project needs, builds the release build and the content set, and runs the
# game in the content folder. With no display the game runs headless (SDL's offscreen driver).
set -euo pipefail
cd "$(dirname "$0")"
./scripts/packages.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DHB_BUILD_TESTS=OFF -DHB_BUILD_BENCH=OFF
cmake --build build/release --target velmoran mkcontent
# The content is made again when it is missing or older than the tool that makes it.
if [ ! -f build/content/PERMANENT.PAK ] || [ build/release/tools/mkcontent/mkcontent -nt build/content/PERMANENT.PAK ]; then
    ./build/release/tools/mkcontent/mkcontent build/content
fi
# Without a display the set's drive files play the run: the first reaches the main menu, saves
# build/frames/run-main-menu.png and quits; the second starts a new game and plays the first
# mission to its debriefing, saving build/frames/run-mission.png (the stage) and
# build/frames/run-debriefing.png. On a desktop the window takes real input.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    export SDL_VIDEODRIVER="${SDL_VIDEODRIVER:-offscreen}"
fi
cd build/content
if [ "${SDL_VIDEODRIVER:-}" = offscreen ] && [ -z "${VELMORAN_DRIVE:-}" ]; then
    VELMORAN_DRIVE=drive/main-menu.txt ../release/src/app/velmoran "$@"
    export VELMORAN_DRIVE=drive/mission.txt
fi
exec ../release/src/app/velmoran "$@"
