#!/usr/bin/env bash
# Takes the README's picture of `calvane -i` on a desktop: a virtual X
# server of its own (Xvfb), the program's dialog and picture windows on the
# bundled sample (its preview split before/after), and ImageMagick's import
# of the screen, trimmed to the windows. Stops what it started by the pid it started.
#   docs/desktop-screenshot.sh [OUTPUT.png]   (default docs/desktop.png)
# Needs what ./setup.sh --packages-only desktop installs, and a build.
set -euo pipefail
cd "$(dirname "$0")/.."
output=${1:-docs/desktop.png}
calvane=${CALVANE:-build/bin/calvane}
[ -x "$calvane" ] || { echo "desktop-screenshot: $calvane is not built; run ./setup.sh" >&2; exit 2; }
for tool in Xvfb xdotool import convert; do
  command -v "$tool" > /dev/null || { echo "desktop-screenshot: $tool is missing (./setup.sh --packages-only desktop)" >&2; exit 2; }
done

work=$(mktemp -d)
xvfb_pid="" calvane_pid=""
cleanup() {
  [ -z "$calvane_pid" ] || kill "$calvane_pid" 2> /dev/null || true
  [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2> /dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# A free display, told by Xvfb itself.
exec {displayfd}<> <(:)
Xvfb -displayfd "$displayfd" -screen 0 1100x640x24 -nolisten tcp -noreset > "$work/xvfb.log" 2>&1 &
xvfb_pid=$!
read -r -t 20 number <&"$displayfd" || { cat "$work/xvfb.log" >&2; exit 1; }
export DISPLAY=:$number

"$calvane" -i --ui desktop --variance 18 --iterations 50 samples/astronaut-noisy.png "$work/out.png" &
calvane_pid=$!
for ((tries = 0; tries < 200; tries++)); do
  dialog=$(xdotool search --onlyvisible --name '^Total Variation Denoise$' 2> /dev/null | head -n 1 || true)
  picture=$(xdotool search --onlyvisible --name '^calvane' 2> /dev/null | head -n 1 || true)
  [ -n "$dialog" ] && [ -n "$picture" ] && break
  sleep 0.1
done
[ -n "$dialog" ] && [ -n "$picture" ] || { echo "desktop-screenshot: the windows did not appear" >&2; exit 1; }
# The picture on the left, the dialog beside it, as a person would place them.
xdotool windowsize --sync "$picture" 540 420 windowmove --sync "$picture" 30 30
xdotool windowmove --sync "$dialog" 600 30
# The dialog's values previewed on the picture, with the before/after line
# (S in the picture) across the middle.
for ((tries = 0; tries < 200; tries++)); do
  caption=$(xdotool getwindowname "$picture" 2> /dev/null || true)
  [[ "$caption" == *preview* && "$caption" != *%* ]] && break
  sleep 0.1
done
xdotool windowfocus --sync "$picture" key s
xdotool windowfocus --sync "$dialog"
sleep 1
import -window root "$work/screen.png"
convert "$work/screen.png" -crop 900x440+20+20 +repage "$output"
echo "desktop-screenshot: $output"
