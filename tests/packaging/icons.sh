#!/usr/bin/env bash
# Every size of the program's icon is there, square, of its size and with transparency, and is
# what the drawing renders to: a PNG left behind by a changed tovik.svg fails.
set -u
. "$(dirname "$0")/lib.bash"
need identify
dir=$1

render=
command -v rsvg-convert >/dev/null 2>&1 && command -v compare >/dev/null 2>&1 && render=1
[ -n "$render" ] || echo "note: rsvg-convert or compare is missing; the PNGs are not checked against tovik.svg"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

for size in 16 24 32 48 64 128 256; do
  png=$dir/tovik-$size.png
  [ -f "$png" ] || fail "no $png"
  got=$(identify -format '%wx%h %[channels]' "$png")
  [ "$got" = "${size}x$size srgba" ] || fail "$png is '$got', not ${size}x$size with transparency"
  if [ -n "$render" ]; then
    rsvg-convert --width "$size" --height "$size" --output "$scratch/$size.png" "$dir/tovik.svg"
    # The normalised root-mean-square difference; renderer versions differ by far less.
    diff=$(compare -metric RMSE "$png" "$scratch/$size.png" null: 2>&1 | sed 's/.*(\(.*\))/\1/')
    awk -v d="$diff" 'BEGIN { exit !(d < 0.01) }' || fail "$png is not tovik.svg at $size px (difference $diff); run runtime/icons/render"
  fi
done
echo "ok: 7 sizes"
