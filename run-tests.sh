#!/usr/bin/env bash
# Builds the test suite and runs it, installing the Debian packages it needs
# first when any is missing (setup.sh; apt-get through sudo when not root).
# Extra arguments go to ctest, for example ./run-tests.sh -R platform
set -euo pipefail
cd "$(dirname "$0")"
build=${CALVANE_BUILD_DIR:-build}
./setup.sh --packages-only tests
[ -f "$build/build.ninja" ] || cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build "$build"
cmake --build "$build" --target calvane_tests
ctest --test-dir "$build" --output-on-failure -j2 "$@"
