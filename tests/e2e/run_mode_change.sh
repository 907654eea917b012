#!/usr/bin/env bash
# The display-mode change for real: on an X server whose desktop is 1280x720
# (Xorg's dummy driver), the presentation must switch it to 1920x1080, fill
# that screen from its corner with the frame the offline renderer gives, and
# give the desktop its 1280x720 back when Escape ends it and when SIGTERM does.
#   run_mode_change.sh ZIRBELON ZIRBELON_RENDER ZIRBELON_TRACKS WORKDIR
# Xorg reads a configuration file of ours only when run as root; otherwise the
# test is skipped (exit 77).
set -euo pipefail
if [ "$(id -u)" -ne 0 ]; then
  echo "skipped: Xorg with the dummy driver needs root here"
  exit 77
fi
source "$(dirname "$(realpath "$0")")/e2e_lib.sh"

start_x_server Xorg -noreset -nolisten tcp -config "$(dirname "$(realpath "$0")")/xorg-dummy.conf" \
  -logfile "$work/xorg.log"
make_tune stage/vaxo.mp3

screen_size() { xrandr | sed -n 's/^Screen 0:.* current \([0-9]*\) x \([0-9]*\),.*/\1x\2/p'; }

[ "$(screen_size)" = 1280x720 ] || fail "the desktop starts at $(screen_size), not 1280x720"

# Runs the presentation until `how` (escape or sigterm) ends it.
run_and_end() {
  local how=$1
  (cd stage && SDL_AUDIODRIVER=dummy exec timeout -k 5 120 ./zirbelon) >"$how.out" 2>&1 &
  local pid=$!
  pids+=($pid)
  window=$(wait_window zirbelon) || fail "$how: no window"
  sleep 4  # a few frames
  [ "$(screen_size)" = 1920x1080 ] || fail "$how: the screen is $(screen_size) while the presentation runs"
  geometry=$(xwininfo -id "$window" | awk '/-geometry/ { print $2 }')
  [ "$geometry" = 1920x1080+0+0 ] || fail "$how: the window's geometry is $geometry"
  screen_matches "$how.png" || fail "$how: the screen does not match the offline frame (see $work/diff-$how.png)"
  if [ "$how" = escape ]; then
    xdotool key --window "$window" Escape
  else
    kill -TERM "$pid"  # timeout hands the signal on to the presentation
  fi
  set +e
  wait "$pid"
  status=$?
  set -e
  [ "$status" -eq 0 ] || fail "$how: exit status $status: $(cat "$how.out")"
  [ "$(screen_size)" = 1280x720 ] || fail "$how: the desktop was left at $(screen_size)"
  echo "$how: switched to 1920x1080 and back to 1280x720, status 0"
}

run_and_end escape
run_and_end sigterm
echo "mode change: all passed"
