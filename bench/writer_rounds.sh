#!/usr/bin/env bash
# What writing the combined list adds to a whole tovik-bench process: rounds of three processes
# in turn (no output, Text, CSV), each started after the file system has written out what the
# one before left (sync), then the medians, the differences and the rates they give.
#   bench/writer_rounds.sh ROUNDS TOVIK_BENCH FILE1 FILE2 OUT_DIR
set -euo pipefail
[ $# -eq 5 ] || { echo "usage: $0 ROUNDS TOVIK_BENCH FILE1 FILE2 OUT_DIR" >&2; exit 2; }
rounds=$1 bench=$2 a=$3 b=$4 dir=$5
seconds() {
  local start end
  sync
  sleep 0.5
  start=$(date +%s.%N)
  "$@" >/dev/null
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}
rows=$(mktemp)
trap 'rm -f "$rows" "$dir/w.txt" "$dir/w.csv"' EXIT
for ((i = 1; i <= rounds; i++)); do
  rm -f "$dir/w.txt" "$dir/w.csv"
  n=$(seconds "$bench" "$a" "$b")
  t=$(seconds "$bench" --out "$dir/w.txt" "$a" "$b")
  c=$(seconds "$bench" --out "$dir/w.csv" "$a" "$b")
  printf 'round %2d  none %.3f s  Text %.3f s  CSV %.3f s\n' "$i" "$n" "$t" "$c" | tee -a "$rows"
done
text_bytes=$(stat -c %s "$dir/w.txt") csv_bytes=$(stat -c %s "$dir/w.csv")
awk -v tb="$text_bytes" -v cb="$csv_bytes" '
  { n[NR] = $4; t[NR] = $7; c[NR] = $10 }
  function median(v, k,   i, j, x) {
    for (i = 2; i <= k; i++) { x = v[i]; for (j = i - 1; j > 0 && v[j] > x; j--) v[j + 1] = v[j]; v[j + 1] = x }
    return (k % 2) ? v[(k + 1) / 2] : (v[k / 2] + v[k / 2 + 1]) / 2
  }
  END {
    mn = median(n, NR); mt = median(t, NR); mc = median(c, NR)
    printf "median    none %.3f s  Text %.3f s  CSV %.3f s\n", mn, mt, mc
    printf "writing   Text +%.3f s for %.0f MB (%.2f GB/s)  CSV +%.3f s for %.0f MB (%.2f GB/s)\n",
      mt - mn, tb / 1e6, tb / 1e9 / (mt - mn), mc - mn, cb / 1e6, cb / 1e9 / (mc - mn)
  }' "$rows"
