#!/usr/bin/env bash
# Builds the Debian packages (CPack's DEB generator) into build/package/packages/: the tree of the
# preset "package" (Release, prefix /usr) with Debian's build flags (hardening, no build paths in
# the binaries), then one package per install component (packaging/CMakeLists.txt).
#
#   scripts/package.sh            install what is missing, configure, build, make the packages
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
# dpkg-buildflags as a Debian package build uses them: all the hardening, no debug information
# (the packages are stripped), -ffile-prefix-map for the source folder.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
export DEB_CFLAGS_MAINT_STRIP=-g DEB_CXXFLAGS_MAINT_STRIP=-g
cppflags=$(dpkg-buildflags --get CPPFLAGS)
cflags="$(dpkg-buildflags --get CFLAGS) $cppflags"
cxxflags="$(dpkg-buildflags --get CXXFLAGS) $cppflags"
ldflags=$(dpkg-buildflags --get LDFLAGS)
cmake --preset package -DCMAKE_C_FLAGS="$cflags" -DCMAKE_CXX_FLAGS="$cxxflags" \
  -DCMAKE_EXE_LINKER_FLAGS="$ldflags" -DCMAKE_SHARED_LINKER_FLAGS="$ldflags" \
  -DCMAKE_MODULE_LINKER_FLAGS="$ldflags"
cmake --build --preset package
rm -rf build/package/packages
cmake --build --preset package --target package
ls -l build/package/packages/*.deb
