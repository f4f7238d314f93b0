#!/usr/bin/env bash
# The real window with the keyboard alone: Tab and Shift+Tab round the designed order, then the
# whole road: choose Source 1 (Alt+1), browse down to a folder by typing names, choose a file,
# choose Source 2 (Alt+2) and another file, Compare with Return, Print through the option dialog
# by its arrow keys into a PDF file (there is no printer here), Save As.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.bash"
gui_begin keys /tmp "$@"
mkdir -p "$tree/lists"
printf 'apple\nbanana\ncherry\n' >"$tree/lists/one.txt"
printf 'banana\ndate\n' >"$tree/lists/two.txt"

gui_start_display
focus_on() { atspi focused | grep -Fqx "$1"; }
key() { xdotool key --delay 60 "$@"; sleep 0.3; }
# Types a name into the folder list's search and chooses the entry found.
choose() { xdotool type --delay 20 "$1"; sleep 0.2; key Return; sleep 0.3; }

gui_start_readable "$shots/keys.log"
xdotool windowactivate --sync "$GUI_FRAME" 2>/dev/null || true
sleep 0.5

# The keyboard starts on Compare. Tab goes round the designed order, Compare, Difference,
# Drive, Folders and files, Similarity, Source 1, Source 2; Shift+Tab round it backwards.
# The bus may tell of the focus a moment after the window shows it, more so on a loaded machine.
for i in $(seq 1 15); do focus_on $'push button\tCompare' && break; sleep 0.2; done
focus_on $'push button\tCompare' || fail "the keyboard does not start on Compare: $(atspi focused | tr '\n' '|')"
# The stops as the bus tells the focus; that of the folder list it does not tell (its current
# entry always reads as focused), so there none of the others may have it.
stops=($'push button\tCompare' $'table\tDifference' $'combo box\t[-c-]' '' $'table\tSimilarity' $'table\tSource 1'
  $'table\tSource 2')
round() { # round KEY STEP: 14 presses, each STEP stops on (6 is one back)
  local i now
  for i in $(seq 1 14); do
    key "$1"
    now=$(atspi focused | grep -E $'^(push button|table|combo box)\t')
    [ "$now" = "${stops[$(((i * $2) % 7))]}" ] || fail "$1 press $i: focus on $(atspi focused | tr '\n' '|')"
  done
}
round Tab 1
round shift+Tab 6

# To the folder list, Source 1 chosen, down the tree by typing each folder's name.
key Tab Tab Tab
key alt+1
IFS='/' read -r -a parts <<<"${tree#/}"
for part in "${parts[@]}" lists; do
  choose "$part"
done
entries=$(atspi items "Folders and files" | tr '\n' ' ')
[ "$entries" = "[..] one.txt two.txt " ] || fail "typing did not reach lists: $entries"
choose one
[ "$(atspi total 'Source 1')" = "3" ] || fail "one.txt did not load into Source 1"
key alt+2
choose two
[ "$(atspi total 'Source 2')" = "2" ] || fail "two.txt did not load into Source 2"
[ "$(atspi total 'Source 1')" = "3" ] || fail "Source 1 changed"

# Back along the tab order to Compare, pressed with Return.
key shift+Tab shift+Tab shift+Tab
focus_on $'push button\tCompare' || fail "Shift+Tab from the list missed Compare"
key Return
sleep 0.5
import -window root "$shots/keys-compared.png"
[ "$(atspi rows Similarity | cut -f2)" = "banana" ] || fail "similarity list: $(atspi rows Similarity | tr '\n' ' ')"
[ "$(atspi total Difference)" = "3" ] || fail "difference total $(atspi total Difference)"

# Print from the File menu: in the option dialog Down moves to Difference and chooses it, and
# Return prints it. No printer here: the program offers a PDF file instead, Return takes the
# offer, and the save dialog opens in the folder listed, on Difference.pdf.
key alt+f Down Return
for i in $(seq 1 25); do atspi text dialog "Print Option" && break; sleep 0.2; done
atspi text dialog "Print Option" || fail "no print option dialog"
key Down
import -window root "$shots/keys-print-option.png"
key Return
for i in $(seq 1 25); do atspi text alert Print && break; sleep 0.2; done
atspi text alert Print || fail "no question after printing without a printer"
import -window root "$shots/keys-no-printer.png"
key Return
for i in $(seq 1 25); do atspi text dialog "Print to PDF" && break; sleep 0.2; done
atspi text dialog "Print to PDF" || fail "no save dialog for the PDF file"
sleep 0.8
[ "$(atspi value text 'File name:')" = "Difference.pdf" ] || fail "the PDF is offered as '$(atspi value text 'File name:')'"
import -window root "$shots/keys-pdf-dialog.png"
key Return
for i in $(seq 1 25); do [ -s "$tree/lists/Difference.pdf" ] && break; sleep 0.2; done
[ -s "$tree/lists/Difference.pdf" ] || fail "no Difference.pdf in the listed folder: $(ls -A "$tree/lists" | tr '\n' ' ')"
if command -v pdftotext >/dev/null; then
  pdftotext "$tree/lists/Difference.pdf" - | grep -q '(Difference)' || fail "the PDF is not the difference list"
fi

# Save As from the File menu, the name typed.
key alt+f Return
for i in $(seq 1 25); do atspi text dialog "Save As" && break; sleep 0.2; done
atspi text dialog "Save As" || fail "no save dialog"
sleep 0.8
xdotool type --delay 10 "$tree/by-keys"
sleep 0.3
key Return
for i in $(seq 1 25); do [ -f "$tree/by-keys.txt" ] && break; sleep 0.2; done
[ -f "$tree/by-keys.txt" ] || fail "Save As wrote no by-keys.txt"
head -n 1 "$tree/by-keys.txt" | cmp -s - <(printf 'Similarity\t\n') || fail "saved: $(head -c 80 "$tree/by-keys.txt")"
import -window root "$shots/keys-saved.png"

echo "PASS: Tab order both ways, Alt+1/Alt+2, browse and choose by typing, Compare, Print to PDF, Save As by keys; screenshots in $shots"
