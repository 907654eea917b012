#!/usr/bin/env bash
# The display-mode change for real: on an X server whose desktop is 1280x720
# (Xorg's dummy driver), the presentation must switch it to 1920x1080, fill
# that screen from its corner with the frame the offline renderer gives, and
# give the desktop its 1280x720 back when Escape ends it and when SIGTERM,
# SIGHUP or SIGQUIT does. With the tune missing, a signal must end it and its
# error box while the box is up: SIGTERM with the mode given back, SIGKILL at
# least without leaving the box's process and window behind.
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

# Runs the presentation until `how` (escape, sigterm, sighup or sigquit) ends
# it, which must give the status.
run_and_end() {
  local how=$1 expected_status=$2
  # SIGQUIT dumps core by default: none in the stage.
  (cd stage && ulimit -c 0 && SDL_AUDIODRIVER=dummy exec timeout -k 5 120 ./zirbelon) >"$how.out" 2>&1 &
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
    local signal=${how#sig}
    kill -"${signal^^}" "$pid"  # timeout hands the signal on to the presentation
  fi
  set +e
  wait "$pid"
  status=$?
  set -e
  [ "$status" -eq "$expected_status" ] || fail "$how: exit status $status: $(cat "$how.out")"
  [ "$(screen_size)" = 1280x720 ] || fail "$how: the desktop was left at $(screen_size)"
  echo "$how: switched to 1920x1080 and back to 1280x720, status $status"
}

# Whether the process exists and has not ended: an orphan's zombie may wait a
# while for PID 1 to reap it.
running() {
  local stat
  stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
  stat=${stat##*) }
  [ "${stat%% *}" != Z ]
}
gone() { ! running "$1"; }

no_window() {
  local tree
  tree=$(xwininfo -root -tree) || return 1
  ! awk -v name="\"$1\":" '$2 == name { found = 1 } END { exit !found }' <<<"$tree"
}

# Retries the command for up to 20 s; a signal's effect takes well under a second.
within_20s() {
  for _ in $(seq 1 200); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

# The tracks without the tune: "failed to open tune" stands in front of the
# fullscreen window until someone dismisses it, which nobody does here.
mkdir stage-no-tune
ln -s "$zirbelon" stage-no-tune/zirbelon
cp stage/*.track stage-no-tune/

# Sends the signal (TERM or KILL) to the presentation while its error box is
# up; it and its box must end without the box being dismissed, with the status.
signal_during_box() {
  local signal=$1 expected_status=$2 name=box-sig${1,,}
  (cd stage-no-tune && SDL_AUDIODRIVER=dummy exec timeout -k 5 120 ./zirbelon) >"$name.out" 2>&1 &
  local pid=$!
  pids+=($pid)
  wait_window Error >/dev/null || fail "$name: no error box"
  [ "$(screen_size)" = 1920x1080 ] || fail "$name: the screen is $(screen_size) while the box is up"
  local presentation box
  presentation=$(pgrep -P "$pid") || fail "$name: the presentation is not running"
  box=$(pgrep -P "$presentation") || fail "$name: no process of its own shows the box"
  # To the presentation alone: timeout would also signal its whole process
  # group, which holds the box's process.
  kill -"$signal" "$presentation"
  within_20s gone "$presentation" || fail "$name: the presentation still runs after SIG$signal"
  within_20s gone "$box" || fail "$name: the box's process outlived the presentation"
  within_20s no_window Error || fail "$name: the box is still on screen"
  within_20s no_window zirbelon || fail "$name: the presentation's window is still on screen"
  set +e
  wait "$pid"
  status=$?
  set -e
  [ "$status" -eq "$expected_status" ] || fail "$name: exit status $status: $(cat "$name.out")"
  echo "$name: the presentation, its box and their windows are gone, status $status"
}

run_and_end escape 0
run_and_end sigterm 0
# Killed by the signal once the mode is back, so the shell shows 128 + its number.
run_and_end sighup $((128 + 1))
run_and_end sigquit $((128 + 3))

signal_during_box TERM 0
[ "$(screen_size)" = 1280x720 ] || fail "box-sigterm: the desktop was left at $(screen_size)"
echo "box-sigterm: back to 1280x720"
# Last: nothing can give the mode back after SIGKILL.
signal_during_box KILL $((128 + 9))
echo "mode change: all passed"
