#!/usr/bin/env bash
# The panes in the real window, by mouse and keys: the entry already selected, clicked again or
# chosen with Space or Return, loads again (into the pane now checked, or as the file now is);
# new rows show from row 1 after a load and after a compare, pressed with keypad Enter and with
# Return; and a screen reader hears a pane: its name, that it has the focus, its current row and
# each move of it.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.bash"
gui_begin panes /tmp "$@"
mkdir -p "$tree/lists"
printf 'apple\nbanana\ncherry\n' >"$tree/lists/one.txt"
for i in $(seq 1 200); do echo "line $i"; done >"$tree/lists/many.txt"
head -n 40 "$tree/lists/many.txt" >"$tree/lists/some.txt"
form="c:$(printf '%s' "$tree" | tr '/' '\\')\\lists\\"

gui_start_display
key() { xdotool key --delay 60 "$@"; sleep 0.3; }
choose() { xdotool type --delay 20 "$1"; sleep 0.2; key Return; sleep 0.3; }
click_entry() { xdotool mousemove --sync $(atspi item "Folders and files" "$1") click 1; sleep 0.4; }
focus_on() { atspi focused | grep -Fqx "$1"; }
total_is() { # total_is PANE N: waits until the pane's total reads N
  local i
  for i in $(seq 1 25); do
    [ "$(atspi total "$1")" = "$2" ] && return 0
    sleep 0.2
  done
  return 1
}
to_the_end() { # to_the_end PANE LAST: the mouse wheel over the pane until row LAST shows
  xdotool mousemove --sync $(atspi center frame "$1") click --repeat 80 --delay 5 5
  sleep 0.4
  atspi row-shown "$1" "$2" && ! atspi row-shown "$1" 1 || fail "could not scroll $1 to its end"
}

gui_start_readable "$shots/panes.log"
xdotool windowactivate --sync "$GUI_FRAME" 2>/dev/null || true
sleep 0.5
for i in $(seq 1 15); do focus_on $'push button\tCompare' && break; sleep 0.2; done

# To the folder list, Source 1 chosen, down the tree by typing each folder's name.
key Tab Tab Tab
key alt+1
IFS='/' read -r -a parts <<<"${tree#/}"
for part in "${parts[@]}" lists; do
  choose "$part"
done

# one.txt into Source 1 by a click; the same entry clicked again with Source 2 checked loads it
# there; Space and Return on it read it again after it changed on disk.
click_entry one.txt
total_is 'Source 1' 3 || fail "one.txt did not load into Source 1"
key alt+2
click_entry one.txt
total_is 'Source 2' 3 || fail "a click on the selected one.txt did not load it into Source 2"
printf 'date\n' >>"$tree/lists/one.txt"
key space
total_is 'Source 2' 4 || fail "Space on the selected one.txt did not read it again"
printf 'elder\n' >>"$tree/lists/one.txt"
key Return
total_is 'Source 2' 5 || fail "Return on the selected one.txt did not read it again"
total_is 'Source 1' 3 || fail "Source 1 changed"
import -window root "$shots/panes-chosen-again.png"

# many.txt into Source 1, scrolled to its end; some.txt loaded over it shows from row 1.
key alt+1
click_entry many.txt
total_is 'Source 1' 200 || fail "many.txt did not load into Source 1"
to_the_end 'Source 1' 200
click_entry some.txt
total_is 'Source 1' 40 || fail "some.txt did not load into Source 1"
atspi row-shown 'Source 1' 1 || fail "after a load Source 1 does not show its row 1"
import -window root "$shots/panes-loaded.png"

# many.txt into Source 2; Compare pressed with keypad Enter, both results scrolled to their
# ends, Compare pressed again with Return: both show row 1.
key alt+2
click_entry many.txt
total_is 'Source 2' 200 || fail "many.txt did not load into Source 2"
key shift+Tab shift+Tab shift+Tab
focus_on $'push button\tCompare' || fail "Shift+Tab from the list missed Compare"
key KP_Enter
total_is Similarity 40 && total_is Difference 160 || fail "keypad Enter did not press Compare"
to_the_end Similarity 40
to_the_end Difference 160
import -window root "$shots/panes-scrolled.png"
key Return
sleep 0.5
atspi row-shown Similarity 1 || fail "after a compare Similarity does not show its row 1"
atspi row-shown Difference 1 || fail "after a compare Difference does not show its row 1"
import -window root "$shots/panes-compared-again.png"

# What a screen reader hears: Tab from Compare reaches the Difference pane, which has the focus
# and tells its first row; each arrow key tells the row it moves to.
key Tab
focus_on $'table\tDifference' || fail "the bus does not tell the focus on Difference: $(atspi focused | tr '\n' '|')"
told=$(atspi describe table Difference)
[ "$told" = "Row 1 of 160: line 100, from ${form}many.txt" ] || fail "Difference tells '$told'"
events="$tree/events"
atspi watch 3 >"$events" &
watcher=$!
for i in $(seq 1 30); do grep -q '^ready$' "$events" && break; sleep 0.1; done
sleep 0.5
key Down
wait "$watcher"
grep -Fqx $'object:property-change:accessible-description\ttable\tDifference\t'"Row 2 of 160: line 101, from ${form}many.txt" \
  "$events" || fail "the move to row 2 was not told: $(tr '\n' '|' <"$events")"
import -window root "$shots/panes-reader.png"

echo "PASS: the selected file chosen again by click, Space and Return; new rows from row 1 after a load and a compare; Compare by keypad Enter and Return; the panes read on the accessibility bus; screenshots in $shots"
