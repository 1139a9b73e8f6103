#!/bin/sh
# Installs what glowcam needs, builds it with its demo track and starts the
# show. Arguments are passed to glowcam (see glowcam --help). Without a
# display it renders a 10 s preview into build/glowcam-preview instead.
set -e
cd "$(dirname "$0")/.."
./tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target glowcam demo_track
cd build
exec ../tools/launch.sh ./app/glowcam "$@"
