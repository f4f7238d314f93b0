#!/usr/bin/env bash
# Checks the benchmarks' yardsticks against the program and each other on generated files:
# gen_lines.py gives the same bytes for the same seed, LINES lines a file, LF in the first and
# CRLF in the second; tovik-bench --out, reference_compare.py and coreutils_compare.sh write the
# same combined list byte for byte, once on plain lines and once on every line four times, there
# with sources named to be written in quotes.
#   bench/check_peers.sh TOVIK_BENCH [LINES] [SEED]
set -euo pipefail
[ $# -ge 1 ] && [ $# -le 3 ] || { echo "usage: $0 TOVIK_BENCH [LINES] [SEED]" >&2; exit 2; }
bench=$(realpath "$1") lines=${2:-20000} seed=${3:-7}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

fail() { echo "check_peers: $*" >&2; exit 1; }

python3 "$here/gen_lines.py" --lines "$lines" --seed "$seed" a b
python3 "$here/gen_lines.py" --lines "$lines" --seed "$seed" a2 b2
cmp -s a a2 && cmp -s b b2 || fail "the same seed gave other bytes"
[ "$(wc -l < a)" -eq "$lines" ] && [ "$(wc -l < b)" -eq "$lines" ] || fail "not $lines lines a file"
[ "$(grep -c $'\r$' b)" -eq "$lines" ] && ! grep -q $'\r' a || fail "not LF in the first file and CRLF in the second"

# Both outputs of one pair against the program's.
agree() {
  "$bench" --out ours.txt "$1" "$2" > /dev/null
  python3 "$here/reference_compare.py" "$1" "$2" reference.txt
  bash "$here/coreutils_compare.sh" "$1" "$2" coreutils.txt
  cmp ours.txt reference.txt || fail "the reference differs from tovik-bench on $3"
  cmp ours.txt coreutils.txt || fail "coreutils differs from tovik-bench on $3"
  [ "$(wc -l < ours.txt)" -gt "$lines" ] || fail "too few rows on $3"
}
agree a b "plain lines"

one='"one' two=$'tw\to'
python3 "$here/gen_lines.py" --lines "$lines" --seed "$seed" --each 4 --common 0.8 "$one" "$two"
agree "$one" "$two" "every line four times"
echo "check_peers: $lines lines: the generator repeats itself, the three compares agree"
