#!/usr/bin/env bash
# Times tovik-bench --out against the coreutils pipeline on the same two files, whole processes
# taken in turn, and prints each round and the medians.
#   bench/peer_pair.sh ROUNDS TOVIK_BENCH COREUTILS_COMPARE_SH FILE1 FILE2 [OUT_EXTENSION]
set -euo pipefail
[ $# -ge 5 ] || { echo "usage: $0 ROUNDS TOVIK_BENCH COREUTILS_COMPARE_SH FILE1 FILE2 [txt|csv]" >&2; exit 2; }
rounds=$1 bench=$2 peer=$3 a=$4 b=$5 ext=${6:-txt}
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
