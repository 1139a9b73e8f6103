#!/bin/sh
# Installs what glowcam needs, builds it with its tests and runs every test.
# Tests that need an X server start their own Xvfb; the rest run offscreen.
set -e
cd "$(dirname "$0")/.."
./tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build
cd build
# Some tests show SDL message boxes, which need a display of their own.
xvfb-run -a -s "-screen 0 1280x1024x24" \
    ctest --output-on-failure --label-exclude slow -j2 "$@"
