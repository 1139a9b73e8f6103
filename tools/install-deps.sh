#!/bin/sh
# Installs every Debian 12 package glowcam needs to build, run and test.
# Idempotent: when everything is already there it says nothing and exits 0.
set -e

# Packages go in without their recommendations, so every one that is used
# is named here. xfonts-base: the X core fonts of SDL's message boxes;
# librsvg2-common: GTK's loader for the SVG icons of the dialog; help2man and
# librsvg2-bin: the manual and the icon's PNG sizes, made at build time;
# dpkg-dev and file: CPack's package of it (tools/package.sh); chromium: the
# browser that the remote page's tests drive.
PACKAGES="
cmake ninja-build g++ pkg-config git
libsdl2-dev libgl-dev libglu1-mesa-dev libegl-dev libgl1-mesa-dri libegl-mesa0 libx11-dev
libgtk-3-dev librsvg2-common xfonts-base
help2man librsvg2-bin dpkg-dev file
libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev
gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-libav
gstreamer1.0-pulseaudio libpulse-dev pulseaudio
libopenal-dev libopenal1 libasound2-dev libsndfile1-dev libfftw3-dev
libpng-dev libyuv-dev liblo-dev liblo-tools libsoup-3.0-dev libqrencode-dev
libgtest-dev libgmock-dev libbenchmark-dev
xvfb xdotool chromium
xserver-xorg-core xserver-xorg-video-dummy x11-xserver-utils
clang libclang-rt-14-dev
"

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
        missing="$missing $p"
    fi
done
[ -z "$missing" ] && exit 0

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then
        SUDO="sudo"
    else
        echo "install-deps: need root or sudo to install:$missing" >&2
        exit 1
    fi
fi

echo "install-deps: installing$missing" >&2
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
# shellcheck disable=SC2086
$SUDO apt-get install -y -qq --no-install-recommends $missing >/dev/null
