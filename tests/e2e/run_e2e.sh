#!/usr/bin/env bash
# The real presentation in a real window: under a virtual 1920x1080 X display
# with SDL's silent audio driver, in a folder of tracks that hold y and rot
# still, a screenshot of the window must match the offline renderer's frame for
# the same values, Escape must end it with status 0, and a missing tune must
# show its error box first. Without any display it must say so and fail.
#   run_e2e.sh ZIRBELON ZIRBELON_RENDER WORKDIR
set -euo pipefail
zirbelon=$(realpath "$1")
render=$(realpath "$2")
work=$3
rm -rf "$work"
mkdir -p "$work"
cd "$work"

# At most 0.05% of the screen's pixels may differ by more than 2/255 (float
# rounding at cell edges between the two GL contexts).
max_differing_pixels=$((1920 * 1080 * 5 / 10000))

pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

# Track file: 8-byte count, then one key: row 0, the float's bits, kind 0 (hold).
write_constant_track() {
  printf '\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00'"$2"'\x00' >"$1"
}

mkdir stage
ln -s "$zirbelon" stage/zirbelon
write_constant_track stage/sync_cam.dist.track '\x00\x00\x80\x40'   # y = 4.0
write_constant_track stage/sync_cam.rot.track '\x00\x00\x00\x40'    # rot = 2.0

echo "== no display: a clear message and a non-zero status"
set +e
(cd stage && env -u DISPLAY -u WAYLAND_DISPLAY SDL_AUDIODRIVER=dummy timeout -k 5 20 ./zirbelon) 2>nodisplay.err
status=$?
set -e
[ "$status" -ne 0 ] && [ "$status" -ne 124 ] || fail "without a display the exit status was $status"
grep -q "no display" nodisplay.err || fail "without a display it said: $(cat nodisplay.err)"

echo "== virtual display"
exec {displayfd}<> <(:)
Xvfb -displayfd "$displayfd" -screen 0 1920x1080x24 -nolisten tcp >xvfb.log 2>&1 &
pids+=($!)
read -r -t 20 -u "$displayfd" number || fail "Xvfb did not start: $(cat xvfb.log)"
export DISPLAY=":$number"

"$render" frame --scene landscape --y 4 --rot 2 -o expected.png

# Waits for a top-level window whose name matches, and prints its id.
wait_window() {
  for _ in $(seq 1 200); do
    id=$(xwininfo -root -tree 2>/dev/null | awk -v name="\"$1\":" '$2 == name { print $1; exit }')
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}

screen_matches() {
  import -window root "$1"
  differing=$(compare -metric AE -fuzz 1% "$1" expected.png "diff-$1" 2>&1 >/dev/null || true)
  echo "$1: $differing pixels differ by more than 2/255 (at most $max_differing_pixels allowed)"
  [ "${differing%%.*}" -le "$max_differing_pixels" ] 2>/dev/null
}

run_until_escape() {
  local name=$1
  (cd stage && SDL_AUDIODRIVER=dummy timeout -k 5 120 ./zirbelon) >"$name.out" 2>&1 &
  local pid=$!
  pids+=($pid)
  if [ "$name" = no-tune ]; then
    box=$(wait_window Error) || fail "no error box for the missing tune"
    xwininfo -id "$box" -all >/dev/null
    xdotool key --window "$box" Return
  fi
  window=$(wait_window zirbelon) || fail "$name: no window"
  sleep 4  # a few frames
  screen_matches "$name.png" || fail "$name: the screen does not match the offline frame (see $work/diff-$name.png)"
  xdotool key --window "$window" Escape
  set +e
  wait "$pid"
  status=$?
  set -e
  [ "$status" -eq 0 ] || fail "$name: exit status $status after Escape: $(cat "$name.out")"
}

echo "== missing tune: the error box, then frames, then Escape"
run_until_escape no-tune

echo "== with a tune"
sox -n -r 44100 -c 2 tone.wav synth 8 sine 440 vol 0.3
lame --quiet -q 2 -b 192 tone.wav stage/vaxo.mp3
run_until_escape with-tune
echo "e2e: all passed"
