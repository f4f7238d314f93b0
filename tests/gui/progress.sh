#!/usr/bin/env bash
# Long work in the real window: a large load, a workbook save and a print into a PDF file each
# show themselves while they run (the status line says what is done, the bar how far; both read
# through the accessibility bus during the work, so the window answers meanwhile); a key given
# during a load is not replayed after it; Escape cancels a load and a print, leaving nothing.
# PROGRESS_LINES sets the large file's lines (4,000,000 unless told).
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.bash"
gui_begin progress / "$@"
mkdir -p "$tree/lists"
lines=${PROGRESS_LINES:-4000000}
seq -f 'entry %.0f of a long list' 1 "$lines" >"$tree/lists/big.txt"
{ seq -f 'entry %.0f of a long list' 1 10000; echo 'only here'; } >"$tree/lists/some.txt"

gui_start_display
gui_start_readable "$shots/progress.log"

# catch PREFIX SHOT -- CMD...: runs CMD and waits for the status line to start with PREFIX while
# the bar shows; sets caught_ms, caught_status and caught_percent.
catch() {
  local prefix=$1 shot=$2
  shift 3
  IFS=$'\t' read -r caught_ms caught_status caught_percent < <(atspi catch "$prefix" "$shot" 30 -- "$@")
  [ -n "${caught_ms:-}" ] || fail "no '$prefix' with progress after $*"
  echo "$prefix: shown ${caught_ms} ms after the input, at ${caught_percent}%: $caught_status"
}

IFS='/' read -r -a parts <<<"${tree#/}"
for part in "${parts[@]}" lists; do
  click_item "[$part]"
done
click_at $(atspi center "check box" "Send selected files to Source 1")

# The load shows itself; Alt+H given during it opens no menu afterwards.
read -r bx by < <(atspi shown "Folders and files" big.txt)
CATCH_KEY=alt+h catch "Loading " "$shots/progress-load.png" -- xdotool mousemove --sync "$bx" "$by" click 1
gui_ready 60 || fail "the load did not end"
[ "$(atspi total 'Source 1')" = "$lines" ] || fail "big.txt did not load whole: $(atspi total 'Source 1')"
sleep 0.5
atspi focused | grep -q '^menu' && fail "Alt+H given during the load opened the Help menu after it"
import -window root "$shots/progress-loaded.png"

# A load cancelled with Escape leaves its pane as it was.
click_at $(atspi center "check box" "Send selected files to Source 2")
CATCH_KEY=Escape catch "Loading " "$shots/progress-load-cancel.png" -- xdotool mousemove --sync "$bx" "$by" click 1
gui_ready 30 || fail "the cancelled load did not end"
[ "$(atspi total 'Source 2')" = "0" ] || fail "a cancelled load filled Source 2"
label2=$(atspi label-after-box "Send selected files to Source 2")
case $label2 in *big.txt) fail "a cancelled load named Source 2: $label2" ;; esac

click_item some.txt
[ "$(atspi total 'Source 2')" = "10001" ] || fail "some.txt did not load into Source 2"
click_at $(atspi center "push button" Compare)
gui_ready 60 || fail "the compare did not end"
[ "$(atspi total Similarity)" = "10000" ] || fail "similarity: $(atspi total Similarity)"

# The workbook save shows itself, with the dialog gone from the screen.
fill_save_dialog "$tree/all" "Excel workbook (*.xlsx)"
catch "Saving " "$shots/progress-save.png" -- xdotool key Return
atspi text dialog "Save As" && fail "the save dialog stayed while the save ran"
gui_ready 120 || fail "the save did not end"
python3 -c 'import sys, zipfile; z = zipfile.ZipFile(sys.argv[1]); sys.exit(z.testzip() is not None)' "$tree/all.xlsx" ||
  fail "the saved workbook does not read"

# print_to_pdf LIST NAME: Print, the list's option, OK, then Yes to a PDF file and the name typed.
print_to_pdf() {
  click_at $(atspi center "push button" Print)
  wait_for dialog "Print Option" || fail "no print option dialog"
  sleep 0.4
  click_at $(atspi center "radio button" "$1")
  click_at $(atspi center "push button" OK)
  wait_for alert Print || fail "no offer of a PDF file"
  click_at $(atspi center "push button" Yes)
  wait_for dialog "Print to PDF" || fail "no dialog for the PDF file"
  sleep 0.8
  click_at $(atspi center text "File name:")
  xdotool key ctrl+a BackSpace
  xdotool type --delay 10 "$2"
  sleep 0.4
}
print_to_pdf Similarity "$tree/similar"
catch "Printing " "$shots/progress-print.png" -- xdotool key Return
gui_ready 120 || fail "the print did not end"
[ -s "$tree/similar.pdf" ] || fail "the print wrote no similar.pdf"

# The Difference list runs to tens of thousands of pages: Escape comes long before its end.
print_to_pdf Difference "$tree/cancelled"
CATCH_KEY=Escape catch "Printing " "$shots/progress-print-cancel.png" -- xdotool key Return
gui_ready 60 || fail "the cancelled print did not end"
leftover=$(find "$tree" -maxdepth 1 -type f ! -name all.xlsx ! -name similar.pdf)
[ -z "$leftover" ] || fail "a cancelled print left $leftover"

echo "PASS: load, save and print showed their progress; Escape cancelled a load and a print; screenshots in $shots"
