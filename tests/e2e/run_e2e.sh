#!/usr/bin/env bash
# The real presentation in a real window: under a virtual 1920x1080 X display
# with SDL's silent audio driver, in a folder of tracks that hold y and rot
# still, a screenshot of the window must match the offline renderer's frame for
# the same values, Escape must end it with status 0, and so must Alt+F4 (no
# window manager turns it into a close here: the presentation must see the
# keys), and a missing tune must show its error box first. Without any display
# it must say so and fail.
#   run_e2e.sh ZIRBELON ZIRBELON_RENDER ZIRBELON_TRACKS WORKDIR
set -euo pipefail
source "$(dirname "$(realpath "$0")")/e2e_lib.sh"

echo "== no display: a clear message and a non-zero status"
set +e
(cd stage && env -u DISPLAY -u WAYLAND_DISPLAY SDL_AUDIODRIVER=dummy timeout -k 5 20 ./zirbelon) 2>nodisplay.err
status=$?
set -e
[ "$status" -ne 0 ] && [ "$status" -ne 124 ] || fail "without a display the exit status was $status"
grep -q "no display" nodisplay.err || fail "without a display it said: $(cat nodisplay.err)"

echo "== virtual display"
# -noreset: an X server that starts afresh when its last client leaves turns
# away a program that connects in that moment ("no display"): each program
# here starts right after the one before it ended.
start_x_server Xvfb -screen 0 1920x1080x24 -nolisten tcp -noreset

# run_until_escape NAME [KEYS]: KEYS (default Escape) end it.
run_until_escape() {
  local name=$1 keys=${2:-Escape}
  (cd stage && SDL_AUDIODRIVER=dummy timeout -k 5 120 ./zirbelon) >"$name.out" 2>&1 &
  local pid=$!
  pids+=($pid)
  if [ "$name" = no-tune ]; then
    box=$(wait_window Error) || fail "no error box for the missing tune"
    xdotool key --window "$box" Return
  fi
  window=$(wait_window zirbelon) || fail "$name: no window"
  sleep 4  # a few frames
  screen_matches "$name.png" || fail "$name: the screen does not match the offline frame (see $work/diff-$name.png)"
  xdotool key --window "$window" "$keys"
  set +e
  wait "$pid"
  status=$?
  set -e
  [ "$status" -eq 0 ] || fail "$name: exit status $status after $keys: $(cat "$name.out")"
}

echo "== missing tune: the error box, then frames, then Escape"
run_until_escape no-tune

echo "== with a tune"
make_tune stage/vaxo.mp3
run_until_escape with-tune

echo "== Alt+F4 ends it as Escape does"
run_until_escape alt-f4 alt+F4
echo "e2e: all passed"
