#!/usr/bin/env bash
# Checks the include rules that the CMake links cannot: backing-library headers
# only inside platform layers' sources, folder-private headers only in their own
# folder, and no relative includes that climb out of a folder.
set -euo pipefail
cd "$(dirname "$0")/.."

status=0
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    sources=$(git ls-files -co --exclude-standard -- '*.h' '*.cpp')
else
    sources=$(find . -path ./build -prune -o \( -name '*.h' -o -name '*.cpp' \) -print | sed 's|^\./||')
fi

# 1. SDL, OpenGL, EGL, OpenAL, sndfile and FFmpeg headers appear only in platform/*/*.cpp.
while IFS= read -r file; do
    case "$file" in platform/*/*.cpp) continue ;; esac
    if grep -nE '#include\s*[<"](SDL|GL/|GLES|EGL/|AL/|sndfile|libav|libsw)' "$file"; then
        echo "  ^ $file: a backing library's header outside a platform layer's sources"
        status=1
    fi
done <<<"$sources"

# 2. A header ending in _local.h is included only from its own folder.
while IFS= read -r file; do
    dir=$(dirname "$file")
    for header in $(grep -oE '#include\s*"[^"]*_local\.h"' "$file" | sed -E 's/.*"([^"]*)"/\1/' || true); do
        if [ ! -f "$dir/$header" ]; then
            echo "$file: includes $header, private to another folder"
            status=1
        fi
    done
done <<<"$sources"

# 3. No include climbs out of its folder.
if grep -nE '#include\s*"\.\./' $sources; then
    echo "  ^ relative includes that climb out of a folder"
    status=1
fi

exit $status
