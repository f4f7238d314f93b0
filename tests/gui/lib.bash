# Shared by the real-window tests (tests/gui/*.sh): a private Xvfb display, the program under it, and waiting
# for its windows. Sourced, not run.

# gui_setup PROGRAM: names the program under test and the folder its screenshots go to.
gui_setup() {
  program=$1
  shots=${GUI_SHOTS:-$(dirname "$program")/../gui-shots}
  mkdir -p "$shots"
}

# gui_own_session ARGS: runs the calling script again inside a D-Bus session and a runtime folder
# of its own, so that its accessibility bus is its own even while another test runs beside it
# (the bus's socket lies in the runtime folder).
gui_own_session() {
  if [ -z "${GUI_INNER:-}" ]; then
    XDG_RUNTIME_DIR=$(mktemp -d)
    export XDG_RUNTIME_DIR GUI_OWN_RUNTIME=$XDG_RUNTIME_DIR
    GUI_INNER=1 exec dbus-run-session -- bash "$0" "$@"
  fi
}

# gui_readable ARGS: what a test that reads the window through the accessibility bus needs, and
# a session of its own (gui_own_session). atspi then reads the running program.
gui_readable() {
  gui_require dbus-run-session
  /usr/bin/python3 -c 'import pyatspi' 2>/dev/null || { echo "SKIP: python3-pyatspi is not installed"; exit 77; }
  gui_own_session "$@"
}
atspi() { /usr/bin/python3 "$(dirname "${BASH_SOURCE[0]}")/atspi.py" "$@"; }

# gui_begin NAME WHERE PROGRAM [ARGS]: how a test that reads the window begins: PROGRAM named
# (gui_setup), a session of its own (gui_readable), and a fresh folder in $tree, removed with
# the display when the script ends. WHERE "/" makes it near the root where the script may write
# there (the way down is then short whatever /tmp holds), else in /tmp; "/tmp" makes it in /tmp.
gui_begin() {
  local name=$1 where=$2
  shift 2
  gui_setup "$1"
  gui_readable "$@"
  trap 'gui_stop; rm -rf "$tree"' EXIT
  if [ "$where" = / ]; then
    tree=$(mktemp -d "/linara-$name.XXXXXX" 2>/dev/null) || tree=$(mktemp -d "/tmp/linara-$name.XXXXXX")
  else
    tree=$(mktemp -d "/tmp/linara-$name.XXXXXX")
  fi
}

# gui_start_readable LOG: starts the program readable on the accessibility bus, its output to
# LOG, closes the about window with Return and waits for the compare window; sets GUI_FRAME.
gui_start_readable() {
  local about
  QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 env -u QT_QPA_PLATFORM "$program" >"$1" 2>&1 &
  GUI_APP_PID=$!
  about=$(gui_wait_window "Orlemy's Application") || fail "the about window did not appear"
  GUI_FRAME=$(gui_close_about "$about") || fail "no frame"
  atspi wait || fail "the compare window is not readable on the accessibility bus"
}

# gui_close_about ABOUT: closes the about window with Return and prints the frame's id. The key
# goes through the server, not to the window: a press sent to a window that closes on it leaves
# its release nowhere, and the key then repeats into the next window as if held down.
gui_close_about() {
  xdotool windowactivate --sync "$1" 2>/dev/null || xdotool windowfocus --sync "$1"
  xdotool key Return
  gui_wait_window 'Linara \(Orlemy Vask\)'
}

# gui_exit_by_menu FRAME [WHAT]: Exit from the File menu (Alt+F, then x, the mnemonic of E&xit);
# fails unless the program then ends, with 0, within five seconds.
gui_exit_by_menu() {
  local i rc
  xdotool windowactivate --sync "$1" 2>/dev/null || true
  xdotool key --window "$1" alt+f
  sleep 0.3
  xdotool key x
  for i in $(seq 1 50); do
    kill -0 "$GUI_APP_PID" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$GUI_APP_PID" 2>/dev/null && fail "Exit did not end the program${2:+ ($2)}"
  wait "$GUI_APP_PID"
  rc=$?
  GUI_APP_PID=
  [ "$rc" -eq 0 ] || fail "the program exited with $rc${2:+ ($2)}"
}

gui_require() {
  local tool
  for tool in Xvfb xdotool import "$@"; do
    if ! command -v "$tool" >/dev/null 2>&1; then
      echo "SKIP: $tool is not installed"
      exit 77
    fi
  done
}

# Starts Xvfb on a free display number and exports DISPLAY. Xvfb chooses the number itself, so
# two tests starting at once never share a display.
gui_start_display() {
  local out n i
  out=$(mktemp)
  Xvfb -displayfd 1 -screen 0 1280x900x24 -nolisten tcp >"$out" 2>/dev/null &
  GUI_XVFB_PID=$!
  n=
  for i in $(seq 1 100); do
    # A whole line: the number is written at once, with its newline.
    if read -r n <"$out"; then break; fi
    n=
    sleep 0.1
  done
  rm -f "$out"
  [ -n "$n" ] || { echo "FAIL: could not start Xvfb"; exit 1; }
  export DISPLAY=":$n"
  for i in $(seq 1 50); do
    if xdotool getdisplaygeometry >/dev/null 2>&1; then
      # A window manager, so that maximizing, focus and activation behave as on a desktop.
      if command -v openbox >/dev/null 2>&1; then
        openbox --config-file /dev/null >/dev/null 2>&1 &
        GUI_WM_PID=$!
        sleep 0.5
      fi
      return 0
    fi
    sleep 0.1
  done
  echo "FAIL: Xvfb on $DISPLAY did not answer"
  exit 1
}

gui_stop() {
  [ -n "${GUI_APP_PID:-}" ] && kill "$GUI_APP_PID" 2>/dev/null
  [ -n "${GUI_WM_PID:-}" ] && kill "$GUI_WM_PID" 2>/dev/null
  [ -n "${GUI_XVFB_PID:-}" ] && kill "$GUI_XVFB_PID" 2>/dev/null
  wait 2>/dev/null
  [ -n "${GUI_OWN_RUNTIME:-}" ] && rm -rf "$GUI_OWN_RUNTIME"
  return 0
}

# gui_wait_window NAME: prints the id of the first window whose title matches NAME.
gui_wait_window() {
  local i id
  for i in $(seq 1 100); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1)
    if [ -n "$id" ]; then
      echo "$id"
      return 0
    fi
    sleep 0.1
  done
  return 1
}

fail() {
  echo "FAIL: $*"
  exit 1
}

# What the readable tests do by mouse in the compare window.
# wait_for ROLE NAME: until the accessibility bus shows it, at most 5 s.
wait_for() {
  local i
  for i in $(seq 1 25); do
    atspi text "$1" "$2" && return 0
    sleep 0.2
  done
  return 1
}
click_at() { xdotool mousemove --sync "$1" "$2" click 1; sleep 0.4; }
# gui_ready SECONDS: waits until the status line reads Ready, at most SECONDS.
gui_ready() {
  local i
  for i in $(seq 1 $(($1 * 5))); do
    atspi text label Ready && return 0
    sleep 0.2
  done
  return 1
}
# click_item ENTRY: scrolls the folder list with the wheel until the entry shows, then clicks it.
click_item() {
  local xy rc i missing=0
  for i in $(seq 1 40); do
    xy=$(atspi shown "Folders and files" "$1")
    rc=$?
    case $rc in
      0) click_at $xy; return 0 ;;
      # a wheel notch scrolls three entries
      2) xdotool mousemove --sync $(atspi center list "Folders and files") click --repeat $(((xy + 2) / 3)) 5 ;;
      3) xdotool mousemove --sync $(atspi center list "Folders and files") click --repeat $(((xy + 2) / 3)) 4 ;;
      *) # the bus may still be catching up with a refilled list
        missing=$((missing + 1))
        [ $missing -lt 20 ] || fail "no entry $1 in the folder list: $(atspi items 'Folders and files' | tr '\n' ' ')"
        sleep 0.2 ;;
    esac
    sleep 0.05
  done
  fail "could not scroll to the entry $1"
}

# fill_save_dialog NAME [TYPE]: Save As by the mouse up to the last press: the button, the type
# chosen from the dialog's list (as the list names it, "CSV (*.csv)"), the name typed.
fill_save_dialog() {
  click_at $(atspi center "push button" "Save As")
  wait_for dialog "Save As" || fail "no save dialog"
  sleep 0.8
  if [ -n "${2:-}" ]; then
    click_at $(atspi center "combo box" "Text (*.txt)")
    sleep 0.4
    click_at $(atspi center "list item" "$2")
    atspi text "combo box" "$2" || fail "could not choose the type $2"
  fi
  local typed tries
  for tries in 1 2 3 4 5; do
    sleep 0.4
    click_at $(atspi center text "File name:")
    xdotool key ctrl+a BackSpace
    xdotool type --delay 10 "$1"
    sleep 0.4
    typed=$(atspi value text "File name:")
    [ "$typed" = "$1" ] && break
  done
  [ "$typed" = "$1" ] || fail "could not type the file name (field holds '$typed')"
  import -window root "$shots/save-dialog.png"
}

# save_as NAME [TYPE]: fill_save_dialog, then Save.
save_as() {
  fill_save_dialog "$@"
  local tries
  # The name's completion list may take the first click; then Save needs a second.
  for tries in 1 2 3; do
    atspi text dialog "Save As" || break
    click_at $(atspi center "push button" Save)
    sleep 0.5
  done
  atspi text dialog "Save As" && fail "the save dialog did not close"
}
