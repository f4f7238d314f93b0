#!/usr/bin/env bash
# The real program under Xvfb: the about window first, Return closes it, then the frame with
# its compare sheet; Exit ends the program. Started with arguments that Qt would take as its own
# options, it starts exactly as without any: same about window, same frame, same output.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.bash"
gui_setup "$1"

gui_require compare convert
trap gui_stop EXIT
gui_start_display

# start_up TAG [ARGS...]: starts the program, shoots the about window and the frame's menu and
# toolbar as $shots/about-TAG.png and $shots/bar-TAG.png, and ends it with Exit.
start_up() {
  local tag=$1 about frame
  shift
  env -u QT_QPA_PLATFORM XDG_RUNTIME_DIR="$(mktemp -d)" "$program" "$@" >"$shots/startup-$tag.log" 2>&1 &
  GUI_APP_PID=$!

  about=$(gui_wait_window "Orlemy's Application") || fail "the about window did not appear"
  [ -z "$(xdotool search --onlyvisible --name 'Linara \(Orlemy Vask\)' 2>/dev/null)" ] ||
    fail "the frame was shown before the about window was closed"
  sleep 0.3
  import -window root "$shots/about-$tag.png"

  frame=$(gui_close_about "$about") || fail "the frame did not appear after Return"
  sleep 0.5
  import -window root "$shots/frame-$tag.png"
  # The title, menu and toolbar: the folder list below shows the file system, which may change.
  convert "$shots/frame-$tag.png" -crop 1280x100+0+0 +repage "$shots/bar-$tag.png"

  kill -0 "$GUI_APP_PID" 2>/dev/null || fail "the program ended early"
  gui_exit_by_menu "$frame" "$tag"
}

same_picture() { # same_picture A B: exit 0 when no pixel differs
  [ "$(compare -metric AE "$1" "$2" null: 2>&1)" = "0" ]
}

start_up plain
start_up options -reverse -style windows -stylesheet /nonexistent one.txt two.txt
same_picture "$shots/about-plain.png" "$shots/about-options.png" || fail "the about window differs with options"
same_picture "$shots/bar-plain.png" "$shots/bar-options.png" || fail "the frame differs with options"
cmp -s "$shots/startup-plain.log" "$shots/startup-options.log" ||
  fail "the options changed what the program said: $(cat "$shots/startup-options.log")"
echo "PASS: about window, frame, Exit, options ignored; screenshots in $shots"
