#!/usr/bin/env bash
# The whole road in the real window, with the mouse alone: browse to a folder, drag a file onto
# Source 2 with both boxes unchecked, check the box of Source 1 and select a second file, press
# Compare, and read the result panes back through the accessibility bus.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.bash"
gui_begin road / "$@"
mkdir -p "$tree/lists/sub"
printf 'apple\nbanana\nbanana\ncherry\n' >"$tree/lists/one.txt"
printf 'banana\r\ndate\r\napple\r\ndate\r\n' >"$tree/lists/two.txt"
# The program's path form of the tree: drive c is the file system's root.
form="c:$(printf '%s' "$tree" | tr '/' '\\')\\lists\\"

gui_start_display
gui_start_readable "$shots/road.log"

# Down the tree from the root, one click a folder.
IFS='/' read -r -a parts <<<"${tree#/}"
for part in "${parts[@]}" lists; do
  click_item "[$part]"
done
entries=$(atspi items "Folders and files" | tr '\n' ' ')
[ "$entries" = "[..] [sub] one.txt two.txt " ] || fail "listing of lists: $entries"

drag_to() { # drag_to ENTRY PANE: presses on the entry, moves in steps to the pane, lets go
  local sx sy px py step
  read -r sx sy < <(atspi shown "Folders and files" "$1")
  read -r px py < <(atspi center frame "$2")
  xdotool mousemove --sync "$sx" "$sy" mousedown 1
  for step in 1 2 3 4 5 6 7 8; do
    xdotool mousemove --sync $((sx + (px - sx) * step / 8)) $((sy + (py - sy) * step / 8))
    sleep 0.05
  done
  sleep 0.2
  xdotool mouseup 1
  sleep 0.6
}

# Both boxes unchecked: selecting a file loads nothing; dragging it onto Source 2 loads it there.
drag_to two.txt "Source 2"
import -window root "$shots/road-dragged.png"
[ "$(atspi total 'Source 2')" = "4" ] || fail "the drop did not load two.txt into Source 2 (total $(atspi total 'Source 2'))"
[ "$(atspi total 'Source 1')" = "0" ] || fail "the drop touched Source 1"
label2=$(atspi label-after-box "Send selected files to Source 2")
[ "$label2" = "${form}two.txt" ] || fail "label of Source 2 reads '$label2'"

# Check the box of Source 1, then select one.txt: it loads into Source 1 at once.
click_at $(atspi center "check box" "Send selected files to Source 1")
click_item one.txt
[ "$(atspi total 'Source 1')" = "4" ] || fail "one.txt did not load into Source 1"
# With the box still checked, a drag loads only the pane it is dropped on.
drag_to two.txt "Source 2"
import -window root "$shots/road-dragged-checked.png"
label1=$(atspi label-after-box "Send selected files to Source 1")
[ "$label1" = "${form}one.txt" ] || fail "the drag onto Source 2 also loaded Source 1: '$label1'"
[ "$(atspi rows 'Source 1' | cut -f2 | tr '\n' ' ')" = "apple banana banana cherry " ] || fail "Source 1 rows changed"

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

save_as "$tree/result"
[ -f "$tree/result.txt" ] || fail "Save As wrote no result.txt"
printf 'Similarity\t\napple\t\nbanana\t\nbanana\t\n\t\nDifference\t\ncherry\t%s\ndate\t%s\ndate\t%s\n' \
  "${form}one.txt" "${form}two.txt" "${form}two.txt" >"$tree/expected.txt"
cmp "$tree/result.txt" "$tree/expected.txt" || fail "the saved text differs: $(cat -A "$tree/result.txt")"
save_as "$tree/result" "CSV (*.csv)"
[ -f "$tree/result.csv" ] || fail "Save As wrote no result.csv"
head -c 3 "$tree/result.csv" | cmp -s - <(printf '\xef\xbb\xbf') || fail "the CSV file has no BOM"
grep -q $'^cherry,"c:' "$tree/result.csv" || grep -q $'^cherry,c:' "$tree/result.csv" || fail "CSV rows: $(cat -A "$tree/result.csv")"

# Print: the option dialog, Both, OK. No printer is installed here: the program says so and
# offers a PDF file instead; No leaves it at that, with nothing written.
click_at $(atspi center "push button" Print)
wait_for dialog "Print Option" || fail "no print option dialog"
sleep 0.4
import -window root "$shots/road-print-option.png"
click_at $(atspi center "radio button" Both)
click_at $(atspi center "push button" OK)
sleep 0.5
import -window root "$shots/road-print-message.png"
wait_for alert Print || fail "no message after printing without a printer"
click_at $(atspi center "push button" No)
sleep 0.3
atspi text alert Print && fail "the question stayed after No"
atspi text dialog "Print to PDF" && fail "No still asked for a PDF file"
[ -z "$(find "$tree" -name '*.pdf')" ] || fail "No wrote a PDF file"
[ "$(atspi total Similarity)" = "3" ] || fail "printing changed the lists"

echo "PASS: browse, drag, check box, Compare, Save As (Text, CSV), Print; screenshots in $shots"
