# Shared by the live link's end-to-end scripts: a work folder with a stage
# made from the shipped track texts and a tone, copies of both shaders, the
# studio listening on a free port on a virtual display of its own, keys sent
# to it, and the player's screen compared with the offline renderer's frames.
# The caller sets player_display (where the player's screen is) and player_pid
# once it runs.
#   source link_e2e_lib.sh ZIRBELON_STUDIO ZIRBELON_RENDER ZIRBELON_TRACKS SOURCE_DIR TITLE_GLSL WORKDIR
studio=$(realpath "$1")
render=$(realpath "$2")
tracks=$(realpath "$3")
source_dir=$(realpath "$4")
title_glsl=$(realpath "$5")
work=$6
rm -rf "$work"
mkdir -p "$work"
cd "$work"

pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  for log in studio.err player.err; do [ -f $log ] && { echo "--- $log" >&2; tail -n 20 $log >&2; }; done
  exit 1
}

# At most 0.05% of the screen's pixels may differ by more than 2/255 (float
# rounding at cell edges between two GL contexts), as the presentation's
# end-to-end tests allow.
max_differing_pixels=$((1920 * 1080 * 5 / 10000))
patience=60  # seconds for a picture to come: a frame takes about a second on a software renderer

mkdir stage texts shots
cp "$source_dir"/assets/tracks/*.txt texts/
for text in texts/*.txt; do
  "$tracks" build "$text" -o "stage/sync_$(basename "$text" .txt).track"
done
sox -n -r 44100 -c 2 tone.wav synth 100 sine 440 vol 0.3
lame --quiet -q 9 -b 64 tone.wav stage/vaxo.mp3
cp "$source_dir/shaders/landscape.glsl" landscape.glsl
cp "$title_glsl" title.glsl
shaders=(--shader landscape=landscape.glsl --shader title=title.glsl)

start_x() {  # VAR SIZE: a virtual display, its DISPLAY in VAR
  # -noreset: an X server that starts afresh when its last client leaves turns
  # away a program that connects in that moment ("no display"): each program
  # here starts right after the one before it ended.
  local fd number
  exec {fd}<> <(:)
  Xvfb -displayfd "$fd" -screen 0 "$2" -nolisten tcp -noreset >"xvfb-$1.log" 2>&1 &
  pids+=($!)
  read -r -t 30 -u "$fd" number || fail "Xvfb did not start"
  exec {fd}>&-
  printf -v "$1" ':%s' "$number"
}
start_x studio_display 1600x900x24

port=""
start_studio() {  # ROW: a studio listening, paused at ROW; studio_pid, window
  for attempt in 1 2 3; do
    [ -n "$port" ] && [ "$attempt" = 1 ] || port=$((20000 + RANDOM % 20000))
    DISPLAY=$studio_display SDL_AUDIODRIVER=dummy "$studio" --dir stage --tracks texts "${shaders[@]}" --row "$1" --paused \
      --shots shots --size 1280x720 --listen "$port" >studio.out 2>studio.err &
    studio_pid=$!
    pids+=($studio_pid)
    for _ in $(seq 1 300); do
      grep -q "listening for players on 127.0.0.1:$port" studio.err 2>/dev/null && break
      kill -0 "$studio_pid" 2>/dev/null || break
      sleep 0.1
    done
    if grep -q "listening for players" studio.err; then
      for _ in $(seq 1 300); do
        window=$(DISPLAY=$studio_display xdotool search --name '^zirbelon-studio$' 2>/dev/null | head -n1 || true)
        [ -n "$window" ] && return 0
        sleep 0.1
      done
      fail "no studio window"
    fi
    wait "$studio_pid" 2>/dev/null || true  # the port was taken: another one
  done
  fail "the studio did not listen: $(cat studio.err)"
}
press() { DISPLAY=$studio_display xdotool key --window "$window" "$@"; sleep 0.4; }
# VALUE: a key of cam.dist at row 601 typed in the studio paused at 600 (the
# fifth track; the cursor starts on the first, Down goes one row on), saved.
key_edit_at_601() {
  press Right Right Right Right
  press Down
  press Insert
  press Return
  DISPLAY=$studio_display xdotool type --window "$window" --delay 50 "$1"
  press Return
  press ctrl+s
  sleep 1
  grep -q "^601 $1 " texts/cam.dist.txt || fail "the key is not in the saved text"
}
player_alive() { kill -0 "$player_pid" 2>/dev/null || fail "the player ended"; }
links() { grep -c "linked to the studio at 127.0.0.1:$port" player.err || true; }
wait_links() {  # N: until the player has been linked N times
  for _ in $(seq 1 $((patience * 10))); do
    [ "$(links)" -ge "$1" ] && return 0
    player_alive
    sleep 0.1
  done
  fail "the player was not linked $1 times"
}

# Screenshots of the player's display until one matches the picture.
player_shows() {  # NAME EXPECTED.png
  local differing=unknown
  for _ in $(seq 1 $((patience / 2))); do
    DISPLAY=$player_display import -window root "$1.png"
    differing=$(compare -metric AE -fuzz 1% "$1.png" "$2" "diff-$1.png" 2>&1 >/dev/null || true)
    [[ $differing =~ ^[0-9.e+]+$ ]] && differing=$(printf '%.0f' "$differing") || differing=unknown
    if [ "$differing" != unknown ] && [ "$differing" -le "$max_differing_pixels" ]; then
      echo "$1: $differing pixels differ by more than 2/255 (at most $max_differing_pixels allowed)"
      return 0
    fi
    player_alive
    sleep 2
  done
  fail "$1: the player's screen is not $2 ($differing pixels differ; see $work/diff-$1.png)"
}
expect_row() {  # ROW NAME [render options]: the offline frame of the row
  local row=$1 name=$2
  shift 2
  "$render" frame --row "$row" --dir stage "${shaders[@]}" "$@" -o "$name" >/dev/null
}

