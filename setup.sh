#!/usr/bin/env bash
# Installs what calvane needs on Debian 12 (or a derivative) and builds it
# into build/. Run once as root or with sudo; safe to run again.
set -euo pipefail
cd "$(dirname "$0")"

packages=(
  build-essential cmake ninja-build ccache pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev libomp-dev
  libopenimageio-dev openimageio-tools libcli11-dev
  libncurses-dev tmux python3 python3-numpy
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "setup: installing ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build
echo "setup: built into build/ (program: build/bin/calvane)"
