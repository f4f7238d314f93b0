#!/usr/bin/env bash
# One table row per program for a pair of files, taken in one spell: each round runs every
# tovik-bench build given (say the build before a change and after it) with --out, then the
# coreutils pipeline, each a whole process under /usr/bin/time, every output checked byte for
# byte against the peer's. Prints each round, then per program the medians of wall seconds,
# kernel seconds, minor page faults and peak memory, the wall time per line of both files in
# microseconds, and the peer's median over each build's.
#   bench/spell.sh ROUNDS FILE1 FILE2 TOVIK_BENCH...
set -euo pipefail
[ $# -ge 4 ] || { echo "usage: $0 ROUNDS FILE1 FILE2 TOVIK_BENCH..." >&2; exit 2; }
rounds=$1 a=$2 b=$3
shift 3
peer=$(dirname "$0")/coreutils_compare.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$(dirname "$0")/timing.sh"

lines=$(($(wc -l < "$a") + $(wc -l < "$b")))
files_mb=$(echo "($(stat -c %s "$a") + $(stat -c %s "$b")) / 1000000" | bc -l)
names=("$@" coreutils)

# Runs one whole process under /usr/bin/time; appends "wall kernel faults peak_kb" to FILE.
timed() {
  local into=$1
  shift
  /usr/bin/time -f '%e %S %R %M' -o "$work/time" "$@" > /dev/null
  cat "$work/time" >> "$into"
}

for ((i = 1; i <= rounds; i++)); do
  line="round $i"
  for ((k = 0; k < ${#names[@]}; k++)); do
    rm -f "$work/out"
    if [ "${names[k]}" = coreutils ]; then
      timed "$work/t$k" bash "$peer" "$a" "$b" "$work/theirs"
    else
      timed "$work/t$k" "${names[k]}" --out "$work/out.txt" "$a" "$b"
      mv "$work/out.txt" "$work/ours$k"
    fi
    line+=$(printf '  %s %.2f s' "$(basename "${names[k]}")" "$(tail -n 1 "$work/t$k" | cut -d' ' -f1)")
  done
  for ((k = 0; k + 1 < ${#names[@]}; k++)); do
    cmp -s "$work/ours$k" "$work/theirs" || { echo "round $i: ${names[k]} wrote other bytes than the peer" >&2; exit 1; }
  done
  echo "$line"
done

col() { cut -d' ' -f"$2" "$work/t$1" | median; }
peer_wall=$(col $((${#names[@]} - 1)) 1)
printf '%s lines in all, %.1f MB of files; medians of %d rounds, outputs the same bytes\n' "$lines" "$files_mb" "$rounds"
for ((k = 0; k < ${#names[@]}; k++)); do
  wall=$(col "$k" 1)
  printf '%-28s %7.3f s wall  %6.2f s kernel  %9.0f faults  peak %7.1f MB (%.2fx files)  %.3f us/line  peer/this %.1fx\n' \
    "${names[k]}" "$wall" "$(col "$k" 2)" "$(col "$k" 3)" "$(echo "$(col "$k" 4) / 1000" | bc -l)" \
    "$(echo "$(col "$k" 4) / 1000 / $files_mb" | bc -l)" "$(echo "$wall * 1000000 / $lines" | bc -l)" \
    "$(echo "$peer_wall / $wall" | bc -l)"
done
