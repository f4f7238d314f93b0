#!/usr/bin/env bash
# Scrolling a long list pane in the real window under Xvfb, each step timed from outside the
# program until the pane shows it.
#   bench/scroll_window.sh PROGRAM FILE [STEPS]
# Browses to FILE's folder, loads FILE into Source 1 and, once the status line reads Ready,
# finds the pane's table on the accessibility bus; bench/scroll_window.py then
# gives STEPS (100 unless told) wheel notches, Page Down and Page Up presses, and moves of the
# scroll bar's handle, and prints each kind's median, 95th percentile and slowest step.
# Needs what the real-window tests need (scripts/install-deps test).
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../tests/gui/lib.bash"
[ $# -ge 2 ] || { echo "usage: $0 PROGRAM FILE [STEPS]" >&2; exit 2; }
program=$(realpath "$1")
file=$(realpath "$2") steps=${3:-100}
dir=$(dirname "$file")
export GUI_SHOTS=${GUI_SHOTS:-/tmp/scroll-shots}
gui_setup "$program"
gui_readable "$@"
log=$(mktemp)
trap 'gui_stop; rm -f "$log"' EXIT
gui_start_display
gui_start_readable "$log"

for part in $(printf '%s' "${dir#/}" | tr '/' ' '); do
  click_item "[$part]"
done
click_at $(atspi center "check box" "Send selected files to Source 1")
click_item "$(basename "$file")"
sleep 1
gui_ready 1800 || fail "the load did not end within half an hour"
echo "Source 1 holds $(atspi total 'Source 1') rows"

read -r tx ty tw th < <(atspi boxes table "Source 1") || fail "no table in Source 1"
# The table's box holds its scroll bars, which the bus does not list: the vertical one is its
# right edge, 14 pixels wide in this style, its handle at the top just below the arrow button
# while the rows are shown from their start. A point off the handle moves no rows, which the
# drag's count of steps then shows.
import -window root "$shots/scroll-loaded.png"
/usr/bin/python3 "$here/scroll_window.py" "$tx" "$ty" "$tw" "$((th - 16))" $((tx + tw - 8)) $((ty + 14 + 4)) "$steps"
rc=$?
import -window root "$shots/scroll-after.png"
exit $rc
