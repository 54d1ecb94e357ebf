#!/usr/bin/env bash
# Installs a build into a temporary prefix, moves the installed tree to
# another folder (so that nothing in it may name where it was installed),
# and checks it there with check-installed.sh: the program runs, finds its
# plug-in and help page, and denoises the bundled sample well. Builds what
# is missing first, with the man page.
#
#   packaging/smoke-test.sh [BUILD_DIR]      default: build/ (or $CALVANE_BUILD_DIR)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-${CALVANE_BUILD_DIR:-build}}

./setup.sh --packages-only tests package
[ -f "$build/build.ninja" ] || cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake -S . -B "$build" -DCALVANE_MAN_PAGE=ON > /dev/null
cmake --build "$build" --target calvane calvane_man_page

work=$(mktemp -d "${TMPDIR:-/tmp}/calvane-smoke-XXXXXX")
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/installed" > /dev/null
mv "$work/installed" "$work/moved"
packaging/check-installed.sh "$work/moved"
