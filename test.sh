#!/usr/bin/env bash
# Installs what the project needs, builds the test build (AddressSanitizer and
# UndefinedBehaviorSanitizer, framework memory routed to the system allocator)
# with the benchmarks, and runs every test.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/packages.sh
./scripts/check-layering.sh
cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DHB_SANITIZE=ON -DHB_SYSTEM_ALLOCATOR=ON
cmake --build build/test
export SDL_VIDEODRIVER=offscreen
export ALSOFT_DRIVERS=null
# With the software rasteriser's worker threads alive at exit, the leak checker's
# thread-stopping step crashes under ctest; tests draw tiny frames, so one thread does.
export LP_NUM_THREADS="${LP_NUM_THREADS:-0}"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
# The system's graphics libraries keep blocks until exit; tests/lsan.supp names them.
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan.supp}"
ctest --test-dir build/test --output-on-failure -j "$(nproc)"
