#!/usr/bin/env bash
# The program unpacked from its package (packaging-deb) starts under Xvfb from the unpacked files
# alone: it maps the window library of the unpacked root, the about window and then the frame
# carry the icon at every size Qt hands the window system, and Exit ends it cleanly. The
# screenshots go to installed-about.png and installed-frame.png among the real-window tests'.
#   installed_window.sh UNPACKED_ROOT/usr/bin/tovik
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../gui/lib.bash"
[ -x "$1" ] || { echo "SKIP: no unpacked program at $1 (packaging-deb did not unpack one)"; exit 77; }
gui_setup "$1"
gui_require xprop
trap gui_stop EXIT
gui_start_display

root=$(cd "$(dirname "$program")/../.." && pwd)
env -u QT_QPA_PLATFORM -u LD_LIBRARY_PATH XDG_RUNTIME_DIR="$(mktemp -d)" "$program" one.txt two.txt \
  >"$shots/installed.log" 2>&1 &
GUI_APP_PID=$!

# icon_sizes WINDOW: the sizes of the window's icon as the window system has them, "16 24 ...".
icon_sizes() {
  xprop -id "$1" _NET_WM_ICON | sed -n 's/.*Icon (\([0-9]*\) x \([0-9]*\)).*/\1/p' | tr '\n' ' ' | sed 's/ $//'
}
# Qt hands over the sizes up to 128 pixels; the larger ones serve the desktop through the theme.
want_sizes="16 24 32 48 64 128"

about=$(gui_wait_window "Orlemy's Application") || fail "the about window did not appear: $(cat "$shots/installed.log")"
sleep 0.3
import -window root "$shots/installed-about.png"
# Its window library is the unpacked one, not the build's.
maps=$(grep -o '/[^ ]*libtovik[^ ]*' "/proc/$GUI_APP_PID/maps" | sort -u)
[ -n "$maps" ] && ! echo "$maps" | grep -qv "^$root/" || fail "the program runs with: $maps"
[ "$(icon_sizes "$about")" = "$want_sizes" ] || fail "the about window's icon has sizes '$(icon_sizes "$about")'"

frame=$(gui_close_about "$about") || fail "the frame did not appear after Return"
sleep 0.5
import -window root "$shots/installed-frame.png"
[ "$(icon_sizes "$frame")" = "$want_sizes" ] || fail "the frame's icon has sizes '$(icon_sizes "$frame")'"

gui_exit_by_menu "$frame"
echo "ok: started from $root, icon sizes $want_sizes"
