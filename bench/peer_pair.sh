#!/usr/bin/env bash
# Times tovik-bench --out against the coreutils pipeline (coreutils_compare.sh beside this) on
# the same two files, whole processes taken in turn, and prints each round and the medians.
# With txt, each round's two outputs must be the same bytes.
#   bench/peer_pair.sh ROUNDS TOVIK_BENCH FILE1 FILE2 [txt|csv]
set -euo pipefail
[ $# -eq 4 ] || [ $# -eq 5 ] || { echo "usage: $0 ROUNDS TOVIK_BENCH FILE1 FILE2 [txt|csv]" >&2; exit 2; }
rounds=$1 bench=$2 a=$3 b=$4 ext=${5:-txt}
peer=$(dirname "$0")/coreutils_compare.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

. "$(dirname "$0")/timing.sh"

ours=() theirs=()
for ((i = 1; i <= rounds; i++)); do
  rm -f "$work"/*
  o=$(seconds "$bench" --out "$work/ours.$ext" "$a" "$b")
  t=$(seconds bash "$peer" "$a" "$b" "$work/theirs")
  if [ "$ext" = txt ]; then cmp -s "$work/ours.$ext" "$work/theirs" || { echo "round $i: the outputs differ" >&2; exit 1; }; fi
  printf 'round %2d  tovik-bench %.3f s  coreutils %.3f s  %.1fx\n' "$i" "$o" "$t" "$(echo "$t / $o" | bc -l)"
  ours+=("$o") theirs+=("$t")
done
mo=$(printf '%s\n' "${ours[@]}" | median)
mt=$(printf '%s\n' "${theirs[@]}" | median)
printf 'median    tovik-bench %.3f s  coreutils %.3f s  %.1fx\n' "$mo" "$mt" "$(echo "$mt / $mo" | bc -l)"
