#!/usr/bin/env bash
# The compare done by coreutils (sort, join, uniq, tr, grep, sed in the C locale), the peer the
# benchmarks time the program against. Writes to OUT what the program saves as Text for the
# combined list, byte for byte: "Similarity", the first file's lines that the second also has,
# an empty row, "Difference", then the lines of either file that the other lacks, ordered by
# source and then text, each after a tab with its source (FILE1 and FILE2 as given, or
# --label1 / --label2; quoted with C's escapes when it holds a tab, CR or LF or starts with a
# quote). Every row ends in a tab and its source, empty for all but the differences, and LF.
#
#   bench/coreutils_compare.sh [--label1 L] [--label2 L] FILE1 FILE2 OUT
#
# Covers UTF-8 text, with or without its byte-order mark, without NUL bytes: lines end at LF,
# CRLF or a lone CR, and lines that are empty or hold only blanks (code 32) are skipped. Bytes
# are taken as they are, so ill-formed UTF-8 and legacy 8-bit text, which the program decodes,
# give other rows here. A UTF-16 or UTF-32 mark exits with 3, as not covered.
set -euo pipefail
export LC_ALL=C

usage() { echo "usage: $0 [--label1 L] [--label2 L] FILE1 FILE2 OUT" >&2; exit 2; }
label1= label2= set1= set2=
while [ $# -gt 0 ]; do
  case $1 in
    --label1) [ $# -ge 2 ] || usage; label1=$2 set1=1; shift 2 ;;
    --label2) [ $# -ge 2 ] || usage; label2=$2 set2=1; shift 2 ;;
    --) shift; break ;;
    -*) usage ;;
    *) break ;;
  esac
done
[ $# -eq 3 ] || usage
file1=$1 file2=$2 out=$3
[ -n "$set1" ] || label1=$file1
[ -n "$set2" ] || label2=$file2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The kept lines of a file, sorted byte by byte.
kept_sorted() {
  local file=$1 mark
  [ -r "$file" ] && [ -f "$file" ] || { echo "$0: cannot read $file" >&2; return 1; }
  mark=$(head -c 4 "$file" | od -An -tx1 | tr -d ' \n')
  case $mark in
    fffe* | feff* | 0000feff) echo "$0: not covered: $file is UTF-16 or UTF-32" >&2; return 3 ;;
  esac
  # A CR becomes a line end; the empty line it then leaves before the LF of a CRLF is skipped
  # with the rest. grep exits 1 when it keeps nothing, which is no failure here.
  if [[ $mark == efbbbf* ]]; then tail -c +4 "$file"; else cat "$file"; fi |
    tr '\r' '\n' | { grep -av '^ *$' || [ $? -eq 1 ]; } | sort
}

# The source as the Text type writes it.
source_field() {
  local s=$1
  if [[ $s == *[$'\t\r\n']* || $s == \"* ]]; then
    s=${s//\\/\\\\}
    s=${s//\"/\\\"}
    s=${s//$'\t'/\\t}
    s=${s//$'\r'/\\r}
    s=${s//$'\n'/\\n}
    s="\"$s\""
  fi
  printf '%s' "$s"
}

# Appends a tab and `field` to every line, the field escaped for sed's replacement.
with_source() {
  local escaped
  escaped=$(printf '%s' "$1" | sed 's/[\\/&]/\\&/g')
  sed "s/\$/\t$escaped/"
}

# Both files at once, one on each core.
kept_sorted "$file1" > "$work/s1" &
one=$!
kept_sorted "$file2" > "$work/s2" &
two=$!
rc=0
wait $one || rc=$?
wait $two || { r=$?; [ $rc -ne 0 ] || rc=$r; }
[ $rc -eq 0 ] || exit $rc

if [ ! -s "$work/s1" ] && [ ! -s "$work/s2" ]; then
  : > "$out"
  exit 0
fi

# A whole line is join's one field: no line holds NUL. Against the other file's distinct lines
# every repeat of a line pairs, or fails to pair, on its own. One file's side on each core.
{
  uniq "$work/s2" > "$work/u2"
  join -t '\0' "$work/s1" "$work/u2" > "$work/same"
  join -t '\0' -v1 "$work/s1" "$work/u2" > "$work/d1"
} &
one=$!
{
  uniq "$work/s1" > "$work/u1"
  join -t '\0' -v2 "$work/u1" "$work/s2" > "$work/d2"
} &
two=$!
wait $one
wait $two
field1=$(source_field "$label1")
field2=$(source_field "$label2")

{
  printf 'Similarity\t\n'
  sed 's/$/\t/' "$work/same"
  printf '\t\nDifference\t\n'
  if [[ $label1 < $label2 ]]; then
    with_source "$field1" < "$work/d1"
    with_source "$field2" < "$work/d2"
  elif [[ $label2 < $label1 ]]; then
    with_source "$field2" < "$work/d2"
    with_source "$field1" < "$work/d1"
  else
    # One source for both: its differences in one order of text, merged before the source is
    # added, which would otherwise take part in the order.
    sort -m "$work/d1" "$work/d2" | with_source "$field1"
  fi
} > "$out"
