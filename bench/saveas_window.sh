#!/usr/bin/env bash
# Save As of a combined list in the real window, timed from the key that presses Save in the
# dialog until the file is complete on disk (it appears under its name only once whole).
#   bench/saveas_window.sh PROGRAM FILE1 FILE2 ROUNDS
# FILE1 and FILE2 lie in one folder directly below the root. Needs Xvfb, xdotool, openbox and
# python3-pyatspi, as the real-window tests do. Prints how long each load and the compare took
# (to a few tenths of a second), then each round's seconds for the Text, the CSV and the workbook type,
# and checks the Text file against tovik-bench's when TOVIK_BENCH names it. SAVE_PAUSE
# seconds (none by default) pass before each save: a disk that slows after a burst of writing
# then starts each save afresh. SAVE_DIR (default /tmp) is where the files go: a memory file
# system such as /dev/shm leaves the disk's speed out of the figure. SAVE_WARM megabytes (none by
# default) are written into memory and freed just before each save, so that the file's pages come
# from memory the machine has just used: on a virtual machine whose host takes back memory the
# guest leaves unused, the first touch of such memory is several times slower (see RESULTS.md).
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../tests/gui/lib.bash"
[ $# -eq 4 ] || { echo "usage: $0 PROGRAM FILE1 FILE2 ROUNDS" >&2; exit 2; }
program=$(realpath "$1")
file1=$(realpath "$2") file2=$(realpath "$3") rounds=$4
dir=$(dirname "$file1")
export GUI_SHOTS=${GUI_SHOTS:-/tmp/saveas-shots}
gui_setup "$program"
gui_readable "$@"
out=$(mktemp -d "${SAVE_DIR:-/tmp}/saveas.XXXXXX")
trap 'gui_stop; rm -rf "$out"' EXIT
gui_start_display
gui_start_readable "$out/program.log"
click_at() { xdotool mousemove --sync "$1" "$2" click 1; sleep 0.5; }

# Every place is read while the panes are empty: the bus walks every cell of a full pane.
# entry NAME: the place of NAME in the folder list, scrolled into view with the wheel (a notch
# scrolls three entries); exits when the list never shows it.
entry() {
  local xy rc i
  for i in $(seq 1 60); do
    xy=$(atspi shown "Folders and files" "$1")
    rc=$?
    case $rc in
      0) echo "$xy"; return 0 ;;
      2) xdotool mousemove --sync $(atspi center list "Folders and files") click --repeat $(((xy + 2) / 3)) 5 ;;
      3) xdotool mousemove --sync $(atspi center list "Folders and files") click --repeat $(((xy + 2) / 3)) 4 ;;
      *) sleep 0.2 ;;
    esac
    sleep 0.1
  done
  return 1
}
for part in $(printf '%s' "${dir#/}" | tr '/' ' '); do
  xy=$(entry "[$part]") || fail "no entry [$part] in the folder list"
  click_at $xy
  sleep 0.5
done
box1=$(atspi center "check box" "Send selected files to Source 1")
box2=$(atspi center "check box" "Send selected files to Source 2")
entry1=$(entry "$(basename "$file1")") || fail "no entry $file1"
entry2=$(entry "$(basename "$file2")") || fail "no entry $file2"
compare=$(atspi center "push button" Compare)
saveas=$(atspi center "push button" "Save As")

# step WHAT X Y: clicks at X Y, then waits until the status line reads Ready again, at most
# half an hour; prints how long that took from the click. Each look at the status line takes a
# few tenths of a second, so the figure is that coarse.
step() {
  local start
  start=$(date +%s%N)
  xdotool mousemove --sync "$2" "$3" click 1
  sleep 0.3 # the step has begun by then
  gui_ready 1800 || fail "$1 did not end within half an hour"
  echo "$1: ready after $(awk -v ns=$(($(date +%s%N) - start)) 'BEGIN { printf "%.1f", ns / 1e9 }') s"
}
# The boxes take turns: checking one unchecks the other.
click_at $box1
step "loading Source 1" $entry1
click_at $box2
step "loading Source 2" $entry2
step "the compare" $compare
import -window root "$shots/saveas-compared.png"
# The window's memory with both sources loaded and compared: the most it held, and what it holds.
grep -E '^(VmHWM|VmRSS|RssAnon|RssFile)' "/proc/$GUI_APP_PID/status" | tr -s ' \t' ' ' | paste -sd ' '
echo "files together $(($(stat -c %s "$file1") + $(stat -c %s "$file2"))) bytes"

# save NAME: opens Save As, types the whole path into the name field, and times the Return.
save() {
  click_at $saveas
  sleep 1.5
  xdotool key ctrl+a BackSpace
  xdotool type --delay 5 "$1"
  sleep 0.8
  if [ "${SAVE_WARM:-0}" -gt 0 ]; then
    dd if=/dev/zero of=/dev/shm/saveas-warm bs=1M count="$SAVE_WARM" status=none
    rm -f /dev/shm/saveas-warm
  fi
  /usr/bin/python3 - "$1" <<'PY'
import os, subprocess, sys, time
target = sys.argv[1]
start = time.monotonic()
subprocess.run(["xdotool", "key", "Return"], check=True)
while not os.path.exists(target):
    if time.monotonic() - start > 1800:
        sys.exit("no file after half an hour")
    time.sleep(0.0005)
print(f"{time.monotonic() - start:.3f}")
PY
}

pause=${SAVE_PAUSE:-0}
for ((i = 1; i <= rounds; i++)); do
  sleep "$pause"
  t=$(save "$out/list$i.txt") || fail "the Text save did not finish"
  sleep "$pause"
  c=$(save "$out/list$i.csv") || fail "the CSV save did not finish"
  sleep "$pause"
  w=$(save "$out/list$i.xlsx") || fail "the workbook save did not finish"
  printf 'round %d  Text %s s (%s bytes)  CSV %s s (%s bytes)  workbook %s s (%s bytes)\n' "$i" "$t" \
    "$(stat -c %s "$out/list$i.txt")" "$c" "$(stat -c %s "$out/list$i.csv")" "$w" "$(stat -c %s "$out/list$i.xlsx")"
  if [ -n "${TOVIK_BENCH:-}" ] && [ "$i" = 1 ]; then
    "$TOVIK_BENCH" --out "$out/bench.txt" "$file1" "$file2" >/dev/null
    # The bench labels rows with the paths as given; the window with its own path form.
    [ "$(cut -f1 "$out/list1.txt" | md5sum)" = "$(cut -f1 "$out/bench.txt" | md5sum)" ] \
      || fail "the saved rows differ from tovik-bench's"
    echo "the rows saved match tovik-bench's"
  fi
  rm -f "$out"/list$i.*
done
import -window root "$shots/saveas-after.png"
