#!/usr/bin/env bash
# Installs what the project needs, builds the test build (AddressSanitizer and
# UndefinedBehaviorSanitizer, framework memory routed to the system allocator)
# with the benchmarks, and runs every test.
#
# ./test.sh --release-heap builds and runs the whole suite instead in a release build on the
# framework's own heap, arenas and pools, without sanitizers (build/release-heap): the memory
# the game itself runs on.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/packages.sh
./scripts/check-layering.sh
if [ "${1:-}" = "--release-heap" ]; then
    build=build/release-heap
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DHB_SANITIZE=OFF -DHB_SYSTEM_ALLOCATOR=OFF \
        -DHB_BUILD_TESTS=ON -DHB_BUILD_BENCH=OFF
else
    build=build/test
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DHB_SANITIZE=ON -DHB_SYSTEM_ALLOCATOR=ON
fi
cmake --build "$build"
export SDL_VIDEODRIVER=offscreen
export ALSOFT_DRIVERS=null
# With the software rasteriser's worker threads or the shader disk cache's thread alive at
# exit, the leak checker's thread-stopping step crashes under ctest; tests draw tiny frames on
# one thread and need no shader cache.
export LP_NUM_THREADS="${LP_NUM_THREADS:-0}"
export MESA_SHADER_CACHE_DISABLE="${MESA_SHADER_CACHE_DISABLE:-true}"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
# The system's graphics libraries keep blocks until exit; tests/lsan.supp names them.
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan.supp}"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
