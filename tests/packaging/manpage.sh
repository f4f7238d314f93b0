#!/usr/bin/env bash
# The manual page renders without a warning, through groff at its strictest and through man, and
# its NAME line is one that whatis and apropos index.
set -u
. "$(dirname "$0")/lib.bash"
need groff man lexgrog
page=$1
[ -f "$page" ] || fail "no manual page at $page"

out=$(groff -ww -man -z "$page" 2>&1)
[ -z "$out" ] || fail "groff warns: $out"
out=$(LC_ALL=C.UTF-8 MANWIDTH=80 MANPAGER=cat man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
[ -z "$out" ] || fail "man warns: $out"
lexgrog "$page" | grep -q ': "tovik - ' || fail "lexgrog finds no NAME line: $(lexgrog "$page" 2>&1)"
echo "ok: $page"
