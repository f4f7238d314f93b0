#!/usr/bin/env bash
# The whole road in the real window, with the mouse alone: browse to a folder, drag a file onto
# Source 2 with both boxes unchecked, check the box of Source 1 and select a second file, press
# Compare, and read the result panes back through the accessibility bus.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.bash"
program=$1
shots=${GUI_SHOTS:-$(dirname "$program")/../gui-shots}
mkdir -p "$shots"

gui_require dbus-run-session
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null || { echo "SKIP: python3-pyatspi is not installed"; exit 77; }
if [ -z "${GUI_INNER:-}" ]; then
  GUI_INNER=1 exec dbus-run-session -- bash "$0" "$@"
fi

trap 'gui_stop; rm -rf "$tree"' EXIT
tree=$(mktemp -d /tmp/linara-road.XXXXXX)
mkdir -p "$tree/lists/sub"
printf 'apple\nbanana\nbanana\ncherry\n' >"$tree/lists/one.txt"
printf 'banana\r\ndate\r\napple\r\ndate\r\n' >"$tree/lists/two.txt"
# The program's path form of the tree: drive c is the file system's root.
form="c:$(printf '%s' "$tree" | tr '/' '\\')\\lists\\"

gui_start_display
atspi() { /usr/bin/python3 "$here/atspi.py" "$@"; }
click_at() { xdotool mousemove --sync "$1" "$2" click 1; sleep 0.4; }
click_item() {
  local xy
  xy=$(atspi item "Folders and files" "$1") || fail "no entry $1 in the folder list: $(atspi items 'Folders and files' | tr '\n' ' ')"
  click_at $xy
}

QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 env -u QT_QPA_PLATFORM XDG_RUNTIME_DIR="$(mktemp -d)" "$program" >"$shots/road.log" 2>&1 &
GUI_APP_PID=$!
about=$(gui_wait_window "Orlemy's Application") || fail "the about window did not appear"
xdotool key --window "$about" Return
gui_wait_window 'Linara \(Orlemy Vask\)' >/dev/null || fail "no frame"
atspi wait || fail "the compare window is not readable on the accessibility bus"

# Down the tree from the root, one click a folder.
IFS='/' read -r -a parts <<<"${tree#/}"
for part in "${parts[@]}" lists; do
  click_item "[$part]"
done
entries=$(atspi items "Folders and files" | tr '\n' ' ')
[ "$entries" = "[..] [sub] one.txt two.txt " ] || fail "listing of lists: $entries"

# Both boxes unchecked: selecting a file loads nothing; dragging it onto Source 2 loads it there.
read -r sx sy < <(atspi item "Folders and files" two.txt)
read -r px py < <(atspi center frame "Source 2")
xdotool mousemove --sync "$sx" "$sy" mousedown 1
for step in 1 2 3 4 5 6 7 8; do
  xdotool mousemove --sync $((sx + (px - sx) * step / 8)) $((sy + (py - sy) * step / 8))
  sleep 0.05
done
sleep 0.2
xdotool mouseup 1
sleep 0.6
import -window root "$shots/road-dragged.png"
[ "$(atspi total 'Source 2')" = "4" ] || fail "the drop did not load two.txt into Source 2 (total $(atspi total 'Source 2'))"
[ "$(atspi total 'Source 1')" = "0" ] || fail "the drop touched Source 1"
label2=$(atspi label-after-box "Send selected files to Source 2")
[ "$label2" = "${form}two.txt" ] || fail "label of Source 2 reads '$label2'"

# Check the box of Source 1, then select one.txt: it loads into Source 1 at once.
click_at $(atspi center "check box" "Send selected files to Source 1")
click_item one.txt
[ "$(atspi total 'Source 1')" = "4" ] || fail "one.txt did not load into Source 1"

click_at $(atspi center "push button" Compare)
sleep 0.5
import -window root "$shots/road-compared.png"
same=$(atspi rows Similarity | cut -f2 | tr '\n' ' ')
[ "$same" = "apple banana banana " ] || fail "similarity list: $same"
diff=$(atspi rows Difference | cut -f2,3 | tr '\t\n' '| ')
expected="cherry|${form}one.txt date|${form}two.txt date|${form}two.txt "
[ "$diff" = "$expected" ] || fail "difference list: $diff"
[ "$(atspi total Similarity)" = "3" ] && [ "$(atspi total Difference)" = "3" ] || fail "totals"
[ "$(atspi text label Ready && echo yes)" = "yes" ] || fail "the status line does not read Ready"

echo "PASS: browse, drag, check box, Compare; screenshots in $shots"
