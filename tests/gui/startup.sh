#!/usr/bin/env bash
# The real program under Xvfb: the about window first, Return closes it, then the frame with
# its compare sheet; Exit ends the program.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.bash"
gui_setup "$1"

gui_require
trap gui_stop EXIT
gui_start_display

env -u QT_QPA_PLATFORM XDG_RUNTIME_DIR="$(mktemp -d)" "$program" one.txt two.txt >"$shots/startup.log" 2>&1 &
GUI_APP_PID=$!

about=$(gui_wait_window "Orlemy's Application") || fail "the about window did not appear"
[ -z "$(xdotool search --onlyvisible --name 'Linara \(Orlemy Vask\)' 2>/dev/null)" ] ||
  fail "the frame was shown before the about window was closed"
import -window root "$shots/about.png"

xdotool windowactivate --sync "$about" 2>/dev/null || xdotool windowfocus --sync "$about"
xdotool key --window "$about" Return
frame=$(gui_wait_window 'Linara \(Orlemy Vask\)') || fail "the frame did not appear after Return"
sleep 0.5
import -window root "$shots/frame.png"

kill -0 "$GUI_APP_PID" 2>/dev/null || fail "the program ended early"
xdotool windowactivate --sync "$frame" 2>/dev/null || true
# Exit through the File menu: Alt+F, then x (the mnemonic of E&xit).
xdotool key --window "$frame" alt+f
sleep 0.3
xdotool key x
for i in $(seq 1 50); do
  kill -0 "$GUI_APP_PID" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$GUI_APP_PID" 2>/dev/null && fail "Exit did not end the program"
wait "$GUI_APP_PID"
rc=$?
[ "$rc" -eq 0 ] || fail "the program exited with $rc"
GUI_APP_PID=
echo "PASS: about window, frame, Exit; screenshots in $shots"
