#!/usr/bin/env bash
# Checks an installed calvane as a user meets it, with nothing from the
# environment or the build tree to help it:
#   - the program, the plug-in, the private libraries, the help page and the
#     man page are where the program looks for them;
#   - every RPATH is relative ($ORIGIN), so the tree can be moved;
#   - `calvane --version` exits 0 and names this source's version;
#   - the program denoises the bundled sample to above 28 dB PSNR against
#     the clean original, loading the plug-in and every private library
#     from PREFIX/lib/calvane/;
#   - F1 in its dialog (-i) names the installed help page;
#   - the man page documents every option --help lists.
# Stops at the first failure with a line saying what failed.
#
#   packaging/check-installed.sh PREFIX      e.g. /usr, or a cmake --install prefix
#
# Needs idiff (openimageio-tools), tmux, readelf and zcat.
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
[ $# -eq 1 ] || { echo "usage: $0 PREFIX" >&2; exit 2; }
prefix=$(cd "$1" && pwd)
program=$prefix/bin/calvane
private=$prefix/lib/calvane
help_page=$prefix/share/doc/calvane/Calvane.htm
man_page=$prefix/share/man/man1/calvane.1.gz
libraries=(libcalvane.so libcalvhost.so libcalvafx.so libcalvwin.so libcalvterm.so libcalvimageio.so)
noisy=$source_dir/samples/astronaut-noisy.png
clean=$source_dir/samples/astronaut-clean.png
min_psnr=28

fail() { echo "check-installed: FAILED: $*" >&2; exit 1; }
ok() { echo "check-installed: ok: $*"; }
for tool in idiff tmux readelf zcat realpath; do
  command -v "$tool" > /dev/null || fail "$tool is needed (./setup.sh --packages-only tests package installs it)"
done

work=$(mktemp -d "${TMPDIR:-/tmp}/calvane-check-XXXXXX")
tmux_socket=$work/tmux.sock
cleanup() {
  tmux -S "$tmux_socket" kill-server 2> /dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
# The program runs as a user would start it: from another folder, with no
# library path, no desktop and no terminal multiplexer of the caller's.
run() { (cd "$work" && env -u LD_LIBRARY_PATH -u DISPLAY -u WAYLAND_DISPLAY "$@"); }

# ---- the files
for file in "$program" "${libraries[@]/#/$private/}" "$help_page" "$man_page"; do
  [ -f "$file" ] || fail "$file is missing"
done
[ -x "$program" ] || fail "$program is not executable"
ok "files in place under $prefix"

# ---- relative RPATHs
for file in "$program" "${libraries[@]/#/$private/}"; do
  runpath=$(readelf -d "$file" | sed -n 's/.*(\(RUNPATH\|RPATH\)).*\[\(.*\)\]$/\2/p')
  [ -n "$runpath" ] || fail "$file has no RUNPATH"
  IFS=: read -ra entries <<< "$runpath"
  for entry in "${entries[@]}"; do
    # shellcheck disable=SC2016 # the literal $ORIGIN, which the loader expands
    [[ $entry == '$ORIGIN' || $entry == '$ORIGIN/'* ]] || fail "$file: RUNPATH entry '$entry' is not relative to \$ORIGIN"
  done
done
ok "every RUNPATH is relative to \$ORIGIN"

# ---- --version
expected=$(sed -n 's/^project(calvane VERSION \([0-9.]*\).*/\1/p' "$source_dir/CMakeLists.txt")
status=0
version=$(run "$program" --version 2>&1) || status=$?
[ "$status" -eq 0 ] || fail "calvane --version exited $status: $version"
[ "$version" = "calvane $expected" ] || fail "calvane --version printed '$version', not 'calvane $expected'"
ok "$version"

# ---- the sample, and where the program loaded its own libraries from
# (written as TIFF, which the image input/output module writes: a PNG the
# program writes itself)
denoised=$work/astronaut-denoised.tif
status=0
run env LD_DEBUG=libs LD_DEBUG_OUTPUT="$work/loader" \
  "$program" -q --variance auto --iterations 300 "$noisy" "$denoised" || status=$?
[ "$status" -eq 0 ] || fail "calvane on $noisy exited $status"
[ -s "$denoised" ] || fail "calvane exited 0 but wrote no $denoised"
psnr=$({ idiff "$clean" "$denoised" || true; } | sed -n 's/.*Peak SNR = \([0-9.]*\).*/\1/p')
[ -n "$psnr" ] || fail "idiff gave no PSNR for $denoised against $clean"
awk -v psnr="$psnr" -v min="$min_psnr" 'BEGIN { exit !(psnr > min) }' || fail "denoised PSNR $psnr dB, not above $min_psnr dB"
ok "sample denoised: $psnr dB against the clean original (above $min_psnr dB)"

loaded=$(cat "$work"/loader.* | sed -n 's/.*calling init: \(.*libcalv[a-z]*\.so\)$/\1/p' | sort -u)
for library in "${libraries[@]}"; do
  path=$(grep "/$library\$" <<< "$loaded" || true)
  [ -n "$path" ] || fail "the program did not load $library"
  [ "$(realpath "$path")" = "$(realpath "$private/$library")" ] || fail "$library came from $path, not from $private"
done
ok "plug-in and private libraries loaded from $private"

# ---- the help page, as F1 in the dialog finds it
tmux_run() { tmux -S "$tmux_socket" "$@"; }
screen_has() {  # waits up to 30 s for the screen to show $1
  local tries
  for ((tries = 0; tries < 300; tries++)); do
    grep -qF -- "$1" <<< "$(tmux_run capture-pane -p -t check 2> /dev/null)" && return 0
    sleep 0.1
  done
  return 1
}
printf -v dialog 'env -u LD_LIBRARY_PATH -u DISPLAY -u WAYLAND_DISPLAY -u TMUX TERM=xterm-256color LC_ALL=C.UTF-8 %q -i --dry-run; echo $? > %q; exec sleep 60' \
  "$program" "$work/dialog-status"
(cd "$work" && tmux -S "$tmux_socket" -f /dev/null new-session -d -s check -x 250 -y 24 "$dialog")
screen_has "Noise variance:" || fail "calvane -i showed no dialog: $(tmux_run capture-pane -p -t check)"
tmux_run send-keys -t check F1
screen_has "Calvane.htm" || fail "F1 named no help page: $(tmux_run capture-pane -p -t check)"
shown=$(tmux_run capture-pane -p -t check | sed -n 's/.*help[^:]*: \(\/[^ ]*Calvane\.htm\).*/\1/p' | tail -1)
[ -n "$shown" ] || fail "F1 showed no path: $(tmux_run capture-pane -p -t check)"
[ "$(realpath "$shown")" = "$(realpath "$help_page")" ] || fail "F1 named $shown, not $help_page"
tmux_run send-keys -t check Escape
for ((tries = 0; tries < 300; tries++)); do
  [ -s "$work/dialog-status" ] && break
  sleep 0.1
done
[ "$(cat "$work/dialog-status" 2> /dev/null)" = 1 ] || fail "Escape in the dialog did not cancel it (status 1)"
ok "F1 in the dialog names $shown"

# ---- the man page
man_text=$(zcat "$man_page")
grep -q '^\.TH CALVANE "\?1"\? ' <<< "$man_text" || fail "$man_page is not calvane's page in section 1"
mapfile -t options < <(run "$program" --help | sed -n 's/^  \(-[a-z],\)\?--\([a-z][a-z-]*\).*/\2/p')
[ ${#options[@]} -ge 5 ] || fail "calvane --help lists only ${#options[@]} options"
for option in "${options[@]}"; do
  grep -qF -- "\\-\\-${option//-/\\-}" <<< "$man_text" || fail "$man_page does not document --$option"
done
ok "man page documents all ${#options[@]} options of --help"
echo "check-installed: $prefix passed"
