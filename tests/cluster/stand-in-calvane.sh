#!/usr/bin/env bash
# A stand-in for calvane that does, for a numbered frame pattern, what the
# program's --shard and --skip-existing do, with a 3x3 mean as its
# "denoising": it proves slurm-array-test.sh (the one-node cluster, the job
# array and the test's checks) without the program, and with
# STAND_IN_FAULT set it breaks one rule on purpose, which the test must then
# report:
#   no-shard      every task does every frame (--shard ignored)
#   ignore-min    K taken as SLURM_ARRAY_TASK_ID + 1, right only for an
#                 array that starts at 0
#   rewrite       outputs that exist are written again (--skip-existing
#                 ignored)
#   silent-skip   an output that exists is left without a word
#   next-input    out_NN is made from frame NN+1's input
#
#   stand-in-calvane.sh [-q] [--shard K/N|auto] [--skip-existing] IN_%02d.png OUT_%02d.png
#
# Only %0Nd patterns. Like the program, it writes each output through a
# temporary file renamed into place.
set -euo pipefail
here=$(dirname "$(realpath "$0")")
fault=${STAND_IN_FAULT:-}

quiet=0 skip=0 shard='' positionals=()
while [ $# -gt 0 ]; do
  case $1 in
    -q) quiet=1 ;;
    --skip-existing) skip=1 ;;
    --shard) shard=$2; shift ;;
    -*) echo "calvane: unknown option $1" >&2; exit 2 ;;
    *) positionals+=("$1") ;;
  esac
  shift
done
[ ${#positionals[@]} -eq 2 ] || { echo "calvane: INPUT and OUTPUT patterns needed" >&2; exit 2; }
input=${positionals[0]} output=${positionals[1]}

# The existing frames of the input pattern, in number order.
prefix=${input%%%*} rest=${input#*%} suffix=${input#*%0[0-9]d}
width=${rest:1:1}
frames=()
for file in "$prefix"*"$suffix"; do
  number=${file#"$prefix"}
  number=${number%"$suffix"}
  [[ $number =~ ^[0-9]{$width}$ ]] && frames+=("$number")
done
mapfile -t frames < <(printf '%s\n' "${frames[@]}" | sort -n)

first=0 count=${#frames[@]}
if [ -n "$shard" ] && [ "$fault" != no-shard ]; then
  if [ "$shard" = auto ]; then
    for variable in SLURM_ARRAY_TASK_ID SLURM_ARRAY_TASK_COUNT SLURM_ARRAY_TASK_MIN; do
      [ -n "${!variable:-}" ] || { echo "calvane: --shard auto: $variable is not set" >&2; exit 2; }
    done
    k=$((SLURM_ARRAY_TASK_ID - SLURM_ARRAY_TASK_MIN + 1))
    [ "$fault" != ignore-min ] || k=$((SLURM_ARRAY_TASK_ID + 1))
    n=$SLURM_ARRAY_TASK_COUNT
  else
    k=${shard%/*} n=${shard#*/}
  fi
  # The K-th of N contiguous shares, their sizes differing by one at most.
  first=$(((k - 1) * ${#frames[@]} / n))
  count=$((k * ${#frames[@]} / n - first))
fi

# The patterns are printf formats, as the program takes them.
# shellcheck disable=SC2059
for number in "${frames[@]:first:count}"; do
  out=$(printf "$output" "$((10#$number))")
  if [ -e "$out" ] && [ "$skip" -eq 1 ] && [ "$fault" != rewrite ]; then
    [ "$quiet" -eq 1 ] || [ "$fault" = silent-skip ] || echo "calvane: $out exists, skipped"
    continue
  fi
  source=$(printf "$input" "$((10#$number))")
  [ "$fault" != next-input ] || source=$(printf "$input" "$((10#$number + 1))")
  python3 "$here/frames.py" smooth "$source" "$out.part.png"
  mv "$out.part.png" "$out"
done
