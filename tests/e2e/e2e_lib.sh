# Shared by the end-to-end scripts: a work folder holding a stage with tracks
# that keep y = 4 and rot = 2, the offline frame for those values, windows
# found by name, screenshots compared with that frame, and cleanup of every
# process started.
#   source e2e_lib.sh ZIRBELON ZIRBELON_RENDER ZIRBELON_TRACKS WORKDIR

zirbelon=$(realpath "$1")
render=$(realpath "$2")
tracks=$(realpath "$3")
work=$4
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

# A track file holding one value from row 0 on.
write_constant_track() {
  echo "0 $2 hold" | "$tracks" build - -o "$1"
}

mkdir stage
ln -s "$zirbelon" stage/zirbelon
write_constant_track stage/sync_cam.dist.track 4   # y
write_constant_track stage/sync_cam.rot.track 2    # rot
"$render" frame --scene landscape --y 4 --rot 2 -o expected.png

# A short tune, so that no error box stands in front of the frames.
make_tune() {
  sox -n -r 44100 -c 2 tone.wav synth 8 sine 440 vol 0.3
  lame --quiet -q 2 -b 192 tone.wav "$1"
}

# Starts an X server given as arguments (it must take -displayfd) and exports
# its DISPLAY.
start_x_server() {
  local displayfd number
  exec {displayfd}<> <(:)
  "$@" -displayfd "$displayfd" >xserver.log 2>&1 &
  pids+=($!)
  read -r -t 30 -u "$displayfd" number || fail "the X server did not start: $(cat xserver.log)"
  export DISPLAY=":$number"
}

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
