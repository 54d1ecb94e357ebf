#!/usr/bin/env bash
# Denoises the bundled sample image with calvane (installing the Debian
# packages it needs when any is missing, with setup.sh, and building it first
# when needed) and reports the PSNR against the clean original before and
# after. The result goes to out/astronaut-denoised.png.
set -euo pipefail
cd "$(dirname "$0")"
build=${CALVANE_BUILD_DIR:-build}
./setup.sh --packages-only base

[ -f "$build/build.ninja" ] || cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" --target calvane

noisy=samples/astronaut-noisy.png
clean=samples/astronaut-clean.png
result=out/astronaut-denoised.png
mkdir -p out

echo "Sample: $noisy (a crop of NASA's public-domain portrait, Gaussian noise of sigma 20)"
"$build/bin/calvane" "$noisy" "$result"

psnr() {  # PSNR of $2 against $1, as idiff reports it
  { idiff "$1" "$2" || true; } | sed -n 's/.*Peak SNR = \([0-9.]*\).*/\1/p'
}
if command -v idiff > /dev/null; then
  printf 'PSNR against %s: noisy %.2f dB, denoised %.2f dB\n' "$clean" "$(psnr "$clean" "$noisy")" "$(psnr "$clean" "$result")"
else
  echo "(install openimageio-tools, or run setup.sh, for the PSNR figures)"
fi
echo "Result: $result"
