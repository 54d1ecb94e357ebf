#!/usr/bin/env bash
# Makes the Debian package calvane_<version>_amd64.deb with CPack from a
# Release build, into BUILD_DIR/packages/. An existing build is reused:
# only the man page is added to it. Installs help2man and dpkg-dev first
# when missing.
#
#   packaging/make-deb.sh [BUILD_DIR]        default: build/ (or $CALVANE_BUILD_DIR)
#   sudo apt-get install ./build/packages/calvane_*_amd64.deb
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-${CALVANE_BUILD_DIR:-build}}

./setup.sh --packages-only package
[ -f "$build/build.ninja" ] || cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake -S . -B "$build" -DCALVANE_MAN_PAGE=ON > /dev/null
type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt")
if [ "$type" != Release ]; then
  echo "make-deb: $build is a '$type' build; the package is made from a Release build" >&2
  exit 1
fi
cmake --build "$build"
rm -rf "$build/packages"
(cd "$build" && cpack -G DEB -B "$PWD/packages")
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$build/CMakeCache.txt")
deb=$build/packages/calvane_${version}_amd64.deb
[ -f "$deb" ] || { echo "make-deb: cpack made no $deb" >&2; exit 1; }
echo "make-deb: $deb"
