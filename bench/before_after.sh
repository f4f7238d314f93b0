#!/usr/bin/env bash
# Times two builds of tovik-bench --out on the same two files, whole processes taken in turn,
# and prints each round and the medians: whether a change moved the time.
# TYPE is the extension the output is named with, and so its writer: txt (the default), csv, ...
#   bench/before_after.sh ROUNDS BEFORE_TOVIK_BENCH AFTER_TOVIK_BENCH FILE1 FILE2 [TYPE]
set -euo pipefail
[ $# -eq 5 ] || [ $# -eq 6 ] || {
  echo "usage: $0 ROUNDS BEFORE_TOVIK_BENCH AFTER_TOVIK_BENCH FILE1 FILE2 [TYPE]" >&2
  exit 2
}
rounds=$1 before=$2 after=$3 a=$4 b=$5 type=${6:-txt}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

. "$(dirname "$0")/timing.sh"

olds=() news=()
for ((i = 1; i <= rounds; i++)); do
  rm -f "$work"/*
  o=$(seconds "$before" --out "$work/before.$type" "$a" "$b")
  n=$(seconds "$after" --out "$work/after.$type" "$a" "$b")
  cmp -s "$work/before.$type" "$work/after.$type" || { echo "round $i: the outputs differ" >&2; exit 1; }
  printf 'round %2d  before %.3f s  after %.3f s\n' "$i" "$o" "$n"
  olds+=("$o") news+=("$n")
done
printf 'median    before %.3f s  after %.3f s\n' "$(printf '%s\n' "${olds[@]}" | median)" \
  "$(printf '%s\n' "${news[@]}" | median)"
