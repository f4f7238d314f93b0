# Shared by the real-window tests (tests/gui/*.sh): a private Xvfb display, the program under it, and waiting
# for its windows. Sourced, not run.

# gui_setup PROGRAM: names the program under test and the folder its screenshots go to.
gui_setup() {
  program=$1
  shots=${GUI_SHOTS:-$(dirname "$program")/../gui-shots}
  mkdir -p "$shots"
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

# Starts Xvfb on a free display number and exports DISPLAY.
gui_start_display() {
  local n
  for n in $(seq 90 140); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
      Xvfb ":$n" -screen 0 1280x900x24 -nolisten tcp >/dev/null 2>&1 &
      GUI_XVFB_PID=$!
      export DISPLAY=":$n"
      local i
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
    fi
  done
  echo "FAIL: could not start Xvfb"
  exit 1
}

gui_stop() {
  [ -n "${GUI_APP_PID:-}" ] && kill "$GUI_APP_PID" 2>/dev/null
  [ -n "${GUI_WM_PID:-}" ] && kill "$GUI_WM_PID" 2>/dev/null
  [ -n "${GUI_XVFB_PID:-}" ] && kill "$GUI_XVFB_PID" 2>/dev/null
  wait 2>/dev/null
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
