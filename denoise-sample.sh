#!/usr/bin/env bash
# Denoises the bundled sample image and reports the PSNR before and after.
set -euo pipefail
cd "$(dirname "$0")"
[ -x build/bin/calvane ] || { [ -f build/build.ninja ] || cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release; cmake --build build; }
if [ ! -x build/bin/calvane ]; then
  echo "denoise-sample: the calvane program is not built yet" >&2
  exit 1
fi
exec build/bin/calvane --help
