#!/usr/bin/env bash
# Makes the Debian package (make-deb.sh, reusing the Release build in
# BUILD_DIR), then checks it as a user gets it:
#   - every library the program and the plug-in link to directly, other
#     than the package's own, belongs to a package that Depends names;
#   - `apt-get install ./calvane_<version>_amd64.deb` installs it, and the
#     installed /usr/bin/calvane passes check-installed.sh (version, the
#     sample above 28 dB, plug-in, libraries, help and man page under /usr);
#   - `apt-get remove calvane` takes every file of it away again.
# A calvane package installed before is removed first, so the one checked
# is the one just made; the package is removed also when a check fails.
# Needs root, or sudo.
#
#   packaging/test-deb.sh [BUILD_DIR]        default: build/ (or $CALVANE_BUILD_DIR)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-${CALVANE_BUILD_DIR:-build}}

fail() { echo "test-deb: FAILED: $*" >&2; exit 1; }
ok() { echo "test-deb: ok: $*"; }
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
apt_get() { "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -y -qq -o DPkg::Lock::Timeout=300 "$@"; }
installed() { [ "$(dpkg-query -W -f='${Status}' calvane 2> /dev/null)" = "install ok installed" ]; }

./setup.sh --packages-only tests package
packaging/make-deb.sh "$build"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$build/CMakeCache.txt")
packages=$(cd "$build/packages" && pwd)
deb=calvane_${version}_amd64.deb

# ---- the declared dependencies against what the binaries need
work=$(mktemp -d "${TMPDIR:-/tmp}/calvane-deb-XXXXXX")
cleanup() {
  rm -rf "$work"
  if installed; then apt_get purge calvane > /dev/null || true; fi
}
trap cleanup EXIT
dpkg-deb -x "$packages/$deb" "$work/tree"
depends=$(dpkg-deb -f "$packages/$deb" Depends)
[ -n "$depends" ] || fail "$deb declares no dependencies"
# The names of the packages Depends lists, alternatives included.
mapfile -t declared < <(tr ',|' '\n' <<< "$depends" | sed 's/(.*)//; s/:any//; s/^ *//; s/ *$//' | grep -v '^$')
owner() {  # the package that owns the library file $1; merged /usr gives a file two names
  local path=$1 candidate
  for candidate in "$path" "/usr$path" "${path#/usr}" "$(realpath "$path")"; do
    dpkg-query -S "$candidate" 2> /dev/null | sed -n '1s/:.*//p' | grep . && return 0
  done
  return 1
}
own=$(cd "$work/tree/usr/lib/calvane" && ls)
checked=0
for binary in "$work/tree/usr/bin/calvane" "$work/tree/usr/lib/calvane/"*.so; do
  for needed in $(readelf -d "$binary" | sed -n 's/.*(NEEDED).*\[\(.*\)\]$/\1/p'); do
    grep -qxF "$needed" <<< "$own" && continue
    path=$(ldconfig -p | awk -v name="$needed" '$1 == name && /x86-64/ && !found { print $NF; found = 1 }')
    [ -n "$path" ] || fail "$needed (needed by ${binary##*/}) is not on this system"
    package=$(owner "$path" | sed 's/:.*//') || fail "no package owns $path"
    grep -qxF "$package" <<< "$(printf '%s\n' "${declared[@]}")" ||
      fail "${binary##*/} needs $needed from $package, which Depends ($depends) does not name"
    checked=$((checked + 1))
  done
done
ok "Depends: $depends (covers all $checked direct library needs)"

# ---- install, check, remove
if installed; then
  echo "test-deb: removing the calvane package installed before"
  apt_get remove calvane
fi
(cd "$packages" && apt_get install "./$deb")
installed || fail "apt-get install ./$deb left calvane not installed"
[ "$(dpkg-query -W -f='${Version}' calvane)" = "$version" ] || fail "the installed calvane is not version $version"
mapfile -t files < <(dpkg-query -L calvane | while read -r f; do [ -d "$f" ] || echo "$f"; done)
ok "installed ${#files[@]} files: $(printf '%s ' "${files[@]}")"
[ "$(command -v calvane)" = /usr/bin/calvane ] || fail "calvane on the PATH is $(command -v calvane), not /usr/bin/calvane"
packaging/check-installed.sh /usr

apt_get remove calvane
! installed || fail "apt-get remove calvane left it installed"
for file in "${files[@]}"; do
  [ ! -e "$file" ] || fail "$file is still there after apt-get remove calvane"
done
[ ! -e /usr/lib/calvane ] || fail "/usr/lib/calvane is still there after apt-get remove calvane"
ok "apt-get remove calvane took all ${#files[@]} files away"
# The ldconfig scripts CPack adds keep dpkg's record of the package until it
# is purged.
"${sudo[@]}" dpkg --purge calvane > /dev/null
echo "test-deb: $deb passed"
