#!/bin/sh
# Builds the Debian package build-package/glowcam_VERSION_amd64.deb from the
# tree: installs what the build needs (Debian 12), builds with Debian's own
# compiler and hardening flags, and packs the install with CPack.
# Install it with: sudo apt-get install ./build-package/glowcam_*.deb
set -e
cd "$(dirname "$0")/.."
./tools/install-deps.sh

# The flags Debian builds its own packages with, hardening included.
DEB_BUILD_MAINT_OPTIONS=hardening=+all
export DEB_BUILD_MAINT_OPTIONS
CFLAGS=$(dpkg-buildflags --get CFLAGS) CXXFLAGS=$(dpkg-buildflags --get CXXFLAGS)
CPPFLAGS=$(dpkg-buildflags --get CPPFLAGS) LDFLAGS=$(dpkg-buildflags --get LDFLAGS)
export CFLAGS="$CFLAGS $CPPFLAGS" CXXFLAGS="$CXXFLAGS $CPPFLAGS" LDFLAGS

rm -f build-package/glowcam_*.deb
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
    -DGLOWCAM_TESTS=OFF -DGLOWCAM_BENCH=OFF >/dev/null
cmake --build build-package -j"${JOBS:-2}"
(cd build-package && cpack -G DEB >/dev/null)
echo "package.sh: $(ls build-package/glowcam_*.deb)"
