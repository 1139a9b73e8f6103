#!/bin/sh
# Installs what glowcam needs, builds it with its tests and runs every test.
# Each test that needs an X server starts its own (Xvfb, or Xorg with the
# dummy driver for full screen) and ends it; the rest run offscreen. The
# desktop's own display is kept out of their way.
set -e
cd "$(dirname "$0")/.."
./tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build
cd build
exec env -u DISPLAY -u WAYLAND_DISPLAY ctest --output-on-failure --label-exclude slow -j2 "$@"
