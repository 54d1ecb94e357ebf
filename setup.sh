#!/usr/bin/env bash
# Installs the Debian packages calvane needs (Debian 12 or a derivative) and
# builds it into build/ (or $CALVANE_BUILD_DIR). Safe to run again: when
# nothing is missing, one dpkg-query call finds that and apt-get is not run.
#
#   ./setup.sh [--packages-only] [GROUP...]
#
# The packages to build the program and its tests are always included; each
# GROUP adds more:
#   base     nothing more
#   tests    tmux, for the tests that run dialogs in a pseudo-terminal, and
#            python3, for the check of function lengths
#   fuzz     clang and libFuzzer, for fuzz/run.sh
#   bench    Google Benchmark, and python3 with numpy (samples/make-sample.py)
#   package  help2man, dpkg-dev and file, to make the Debian package
#   cluster  Slurm (slurmctld, slurmd, slurm-client) and munge, and python3,
#            for tests/cluster/slurm-array-test.sh (which starts daemons of
#            its own, and uses none of the system's)
#   desktop  GTK 3, for the desktop presentation (built only where it is
#            found), and Xvfb, xdotool, ImageMagick and the DejaVu fonts,
#            for its tests under a virtual X server of their own
# Without a GROUP: tests fuzz bench. --packages-only installs and stops,
# without configuring or building. apt-get runs through sudo when not root.
set -euo pipefail
cd "$(dirname "$0")"

build_dir=${CALVANE_BUILD_DIR:-build}
build=1
groups=()
for argument in "$@"; do
  case $argument in
    --packages-only) build=0 ;;
    base | tests | fuzz | bench | package | cluster | desktop) groups+=("$argument") ;;
    -h | --help) sed -n '2,/^set -e/{/^set -e/d;s/^# \{0,1\}//;p}' "$0"; exit 0 ;;
    *) echo "setup: unknown argument '$argument' (see ./setup.sh --help)" >&2; exit 2 ;;
  esac
done
[ ${#groups[@]} -gt 0 ] || groups=(tests fuzz bench)

packages=(
  build-essential cmake ninja-build ccache pkg-config
  libgtest-dev libgmock-dev
  libopenimageio-dev openimageio-tools libcli11-dev libncurses-dev libpng-dev zlib1g-dev
)
for group in "${groups[@]}"; do
  case $group in
    tests) packages+=(tmux python3) ;;
    fuzz) packages+=(clang libclang-rt-14-dev) ;;
    bench) packages+=(libbenchmark-dev python3 python3-numpy) ;;
    package) packages+=(help2man dpkg-dev file) ;;
    cluster) packages+=(slurmctld slurmd slurm-client munge python3) ;;
    desktop) packages+=(libgtk-3-dev xvfb xauth xdotool imagemagick fonts-dejavu-core) ;;
  esac
done

# Lists the packages of "$@" that are not installed. A name dpkg has never
# heard of is not installed either (dpkg-query then complains, and exits 1).
missing_packages() {
  local -A installed=()
  local package status
  while read -r package status; do
    [ "$status" != "install ok installed" ] || installed[$package]=1
  done < <(dpkg-query -W -f='${Package} ${Status}\n' "$@" 2>/dev/null || true)
  for package in "$@"; do
    [ -n "${installed[$package]:-}" ] || echo "$package"
  done
}

if ! command -v dpkg-query > /dev/null; then
  echo "setup: not a Debian system (no dpkg-query); make sure these are installed: ${packages[*]}" >&2
else
  mapfile -t missing < <(missing_packages "${packages[@]}")
  if [ ${#missing[@]} -gt 0 ]; then
    sudo=()
    if [ "$(id -u)" -ne 0 ]; then
      if ! command -v sudo > /dev/null; then
        echo "setup: ${missing[*]} missing; installing them needs root, and there is no sudo: run this as root" >&2
        exit 1
      fi
      sudo=(sudo)
    fi
    echo "setup: installing ${missing[*]}"
    "${sudo[@]}" apt-get update -qq
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
      -o DPkg::Lock::Timeout=300 "${missing[@]}"
    mapfile -t still < <(missing_packages "${missing[@]}")
    if [ ${#still[@]} -gt 0 ]; then
      echo "setup: apt-get did not install ${still[*]}" >&2
      exit 1
    fi
  fi
fi

if [ "$build" -eq 1 ]; then
  [ -f "$build_dir/build.ninja" ] || cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release
  cmake --build "$build_dir"
  echo "setup: built into $build_dir/ (program: $build_dir/bin/calvane)"
fi
