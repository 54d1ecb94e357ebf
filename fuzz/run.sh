#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer, UndefinedBehavior-
# Sanitizer, leak checks, coverage) into build-fuzz/ and runs each for a
# bounded time on a copy of its seed corpus. A crash, a sanitizer or leak
# report, a target's own finding, an input that runs longer than 10 s, or
# more than 2 GB of memory fails; the input is printed for reproduction.
#
#   fuzz/run.sh [SECONDS [TARGET...]]    e.g. fuzz/run.sh 300 read_image
#
# Everything a run writes (corpus growth, crash files, the targets' own
# files) stays in one temporary folder, removed at the end. The mutations
# follow a fixed seed, so that a run explores the same inputs each time;
# CALVANE_FUZZ_SEED=0 lets libFuzzer pick one (for longer runs by hand).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
seconds=${1:-30}
[ $# -gt 0 ] && shift
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(read_image process_entry data_exchange error_reporting)
build=${CALVANE_FUZZ_BUILD_DIR:-build-fuzz}
seed=${CALVANE_FUZZ_SEED:-1}

if [ ! -f "$build/build.ninja" ]; then
  CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1" "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O1 -g1" \
    -DCALVANE_BUILD_TESTS=OFF -DCALVANE_BUILD_FUZZ=ON -DCALVANE_WARNINGS_AS_ERRORS=OFF \
    -DCALVANE_SANITIZE=address,undefined,fuzzer-no-link
fi
cmake --build "$build" --target calvane_fuzzers

work=$(mktemp -d "${TMPDIR:-/tmp}/calvane-fuzz-XXXXXX")
trap 'rm -rf "$work"' EXIT
failed=()
for target in "${targets[@]}"; do
  dir=$work/$target
  mkdir -p "$dir/corpus" "$dir/tmp"
  cp "fuzz/corpus/$target/"* "$dir/corpus/"
  echo "fuzz: $target, ${seconds} s"
  if ! (cd "$dir" && TMPDIR=$dir/tmp "$root/$build/bin/${target}_fuzzer" -max_total_time="$seconds" -seed="$seed" -timeout=10 \
          -rss_limit_mb=2048 -close_fd_mask=3 -print_final_stats=1 -artifact_prefix="$dir/" corpus); then
    failed+=("$target")
    for artifact in "$dir"/crash-* "$dir"/leak-* "$dir"/timeout-* "$dir"/oom-*; do
      [ -f "$artifact" ] || continue
      echo "fuzz: $target failed on $(basename "$artifact") ($(stat -c %s "$artifact") bytes):"
      od -A d -t x1z -v "$artifact" | head -n 64
    done
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz: findings in ${failed[*]}"
  echo "fuzz: $((${#targets[@]} - ${#failed[@]})) passed, ${#failed[@]} failed"
  exit 1
fi
echo "fuzz: ${#targets[@]} targets, ${seconds} s each, no findings"
echo "fuzz: ${#targets[@]} passed, 0 failed"
