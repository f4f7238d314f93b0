#!/usr/bin/env bash
# The launcher entry passes desktop-file-validate without an error, a warning or a hint.
set -u
. "$(dirname "$0")/lib.bash"
need desktop-file-validate

out=$(desktop-file-validate "$1" 2>&1) || fail "desktop-file-validate rejects $1: $out"
[ -z "$out" ] || fail "desktop-file-validate has remarks on $1: $out"
echo "ok: $1"
