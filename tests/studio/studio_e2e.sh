#!/usr/bin/env bash
# zirbelon-studio for real, in a window on a virtual display, driven with
# xdotool: F12 at a paused row gives the offline renderer's bytes; a shader
# changed on disk shows in the next F12; a broken one leaves the program
# running with the last good picture; a key inserted and saved with the
# documented keys is in the text, in the track file and in the offline frame;
# with no audio device the clock still advances; paused and idle it waits for
# events; a second shot at one row keeps the first; any window size, down to
# 2x2, keeps it running; a text changed by another program while the studio
# holds edits of it is not written over by a save; a signal ends it with
# 128+N and keeps its unsaved edits beside the texts; --bench says how soon a
# seek is heard. Installed under a scratch prefix, it needs to be told which
# presentation outside a checkout's build, makes a project folder from the
# installed one, edits, saves, shoots and renders a video there with the
# installed tools, and writes nothing into the install.
#   studio_e2e.sh ZIRBELON_STUDIO ZIRBELON_RENDER ZIRBELON_TRACKS SOURCE_DIR TITLE_GLSL WORKDIR BUILD_DIR
set -euo pipefail
studio=$(realpath "$1")
render=$(realpath "$2")
tracks=$(realpath "$3")
source_dir=$(realpath "$4")
title_glsl=$(realpath "$5")
work=$6
build=$(realpath "$7")
rm -rf "$work"
mkdir -p "$work"
cd "$work"

pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; [ -f studio.err ] && cat studio.err >&2; exit 1; }

# The presentation's tracks from copies of their texts, so that saving here
# touches nothing of the checkout; a short tune; copies of the shaders.
mkdir stage texts shots
cp "$source_dir"/assets/tracks/*.txt texts/
for text in texts/*.txt; do
  name=$(basename "$text" .txt)
  "$tracks" build "$text" -o "stage/sync_$name.track"
done
sox -n -r 44100 -c 2 tone.wav synth 100 sine 440 vol 0.3
lame --quiet -q 9 -b 64 tone.wav stage/vaxo.mp3
cp "$source_dir/shaders/landscape.glsl" landscape.glsl
cp "$title_glsl" title.glsl
shaders=(--shader landscape=landscape.glsl --shader title=title.glsl)

exec {displayfd}<> <(:)
# -noreset: an X server that starts afresh when its last client leaves turns
# away a program that connects in that moment ("no display"): each program
# here starts right after the one before it ended.
Xvfb -displayfd "$displayfd" -screen 0 1600x900x24 -nolisten tcp -noreset >xvfb.log 2>&1 &
pids+=($!)
read -r -t 30 -u "$displayfd" number || fail "Xvfb did not start"
export DISPLAY=":$number"

wait_window() {
  for _ in $(seq 1 300); do
    id=$(xdotool search --name '^zirbelon-studio$' 2>/dev/null | head -n1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}
# Starts the studio (a command line) and waits for its window: studio_pid and
# window. A start that shows no window in 30 s is told on stderr with what the
# process was doing, and tried once more.
start_studio() {
  for attempt in 1 2; do
    "$@" >studio.out 2>studio.err &
    studio_pid=$!
    pids+=($studio_pid)
    window=$(wait_window) && return 0
    echo "note: no window after 30 s (start $attempt): state $(ps -o stat=,wchan= -p "$studio_pid" 2>/dev/null)," \
      "windows: $(xwininfo -root -tree 2>/dev/null | grep -c zirbelon), stderr: $(cat studio.err)" >&2
    kill -KILL "$studio_pid" 2>/dev/null || true
    wait "$studio_pid" 2>/dev/null || true
  done
  return 1
}
# Waits until the file exists and its size holds still.
wait_file() {
  for _ in $(seq 1 300); do
    if [ -s "$1" ]; then
      local size; size=$(stat -c %s "$1"); sleep 0.3
      [ "$size" = "$(stat -c %s "$1")" ] && return 0
    fi
    sleep 0.1
  done
  return 1
}
press() { xdotool key --window "$window" "$@"; sleep 0.4; }
shot() {  # ROW: F12, then the picture named by the row
  rm -f "shots/row-$1.png"
  press F12
  wait_file "shots/row-$1.png" || fail "no shots/row-$1.png after F12"
}
alive() { kill -0 "$studio_pid" 2>/dev/null || fail "the studio ended: $(cat studio.err)"; }

row=600
SDL_AUDIODRIVER=dummy "$studio" --dir stage --tracks texts "${shaders[@]}" --row "$row" --paused --shots shots \
  --size 1280x720 >studio.out 2>studio.err &
studio_pid=$!
pids+=($studio_pid)
window=$(wait_window) || fail "no studio window"
sleep 2

echo "== F12 at a paused row is the offline frame, byte for byte"
shot "$row"
"$render" frame --row "$row" --dir stage "${shaders[@]}" -o expected.png >/dev/null
cmp -s "shots/row-$row.png" expected.png || fail "the F12 picture differs from zirbelon-render frame --row $row"

echo "== a shader changed on disk shows in the next F12"
cat >flat.glsl <<'GLSL'
void main() { gl_FragColor = vec4(0.25, 0.5, 0.75, 1.0); }
GLSL
cp flat.glsl landscape.glsl
sleep 1.5
shot "$row"
"$render" frame --row "$row" --dir stage --shader landscape=flat.glsl --shader title=title.glsl -o flat.png >/dev/null
cmp -s "shots/row-$row.png" flat.png || fail "the changed shader does not show"

echo "== a broken shader keeps the program and the last good picture"
echo 'void main() { gl_FragColor = nonsense; }' >landscape.glsl
sleep 1.5
alive
shot "$row"
cmp -s "shots/row-$row.png" flat.png || fail "the broken shader changed the picture"
cp "$source_dir/shaders/landscape.glsl" landscape.glsl
sleep 1.5

echo "== a key inserted with the keys and saved is in the text, the track file and the offline frame"
# cam.dist is the fifth track; the cursor starts on the first.
press Right Right Right Right
press Down
press Insert
press Return
xdotool type --window "$window" --delay 50 "3.25"
press Return
press ctrl+s
sleep 1
grep -q "^601 3.25 " texts/cam.dist.txt || fail "the key is not in the text: $(grep -n '^60[0-9] ' texts/cam.dist.txt)"
"$tracks" dump stage/sync_cam.dist.track | grep -q "^601 3.25 " || fail "the key is not in the track file"
"$render" frame --row 601 --dir stage "${shaders[@]}" -o saved.png | grep -q "y 3.25" ||
  fail "zirbelon-render does not show the saved key"
shot 601
cmp -s shots/row-601.png saved.png || fail "the studio's picture of the key differs from the offline frame"
# Every comment of the shipped text is still there.
diff <(grep '#' "$source_dir/assets/tracks/cam.dist.txt") <(grep '#' texts/cam.dist.txt) >/dev/null ||
  fail "saving lost or moved comments"
press ctrl+q
for _ in $(seq 1 50); do kill -0 "$studio_pid" 2>/dev/null || break; sleep 0.1; done
! kill -0 "$studio_pid" 2>/dev/null || fail "Ctrl+Q after saving did not quit"

echo "== with no audio device the clock still advances"
SDL_AUDIODRIVER=none "$studio" --dir stage --tracks texts "${shaders[@]}" --row 100 --shots shots \
  --size 640x360 >studio.out 2>studio.err &
studio_pid=$!
pids+=($studio_pid)
window=$(wait_window) || fail "no studio window without sound: $(xwininfo -root -tree | grep -i zirbelon)"
sleep 3
press F12
sleep 2
ahead=$(ls shots | sed -n 's/^row-\([0-9.]*\)\.png$/\1/p' | awk '$1 > 120 { print }' | head -n1)
[ -n "$ahead" ] || fail "the silent clock did not advance: $(ls shots)"
alive
kill "$studio_pid"
wait "$studio_pid" 2>/dev/null || true
for _ in $(seq 1 50); do xdotool search --name '^zirbelon-studio$' >/dev/null 2>&1 || break; sleep 0.1; done

echo "== paused, the studio waits for events"
start_studio env SDL_AUDIODRIVER=dummy "$studio" --dir stage --tracks texts "${shaders[@]}" --row 700 --paused \
  --shots shots --size 1280x720 || fail "no studio window"
sleep 3
ticks() { awk '{ print $14 + $15 }' "/proc/$studio_pid/stat"; }
before=$(ticks)
sleep 5
used=$(( $(ticks) - before ))
hz=$(getconf CLK_TCK)
# Busy, it took 84 to 94% of a core; waiting, a few.
[ "$used" -le $(( hz * 5 * 25 / 100 )) ] || fail "paused and idle it used $used ticks of $((hz * 5)) in 5 s"
echo "idle: $used of $((hz * 5)) ticks in 5 s"

echo "== a second F12 at one row keeps the first"
rm -f shots/row-700*.png
press F12
wait_file shots/row-700.png || fail "no first shot"
press F12
wait_file shots/row-700-2.png || fail "the second shot at one row has no name of its own: $(ls shots)"

echo "== any window size, down to 2x2, and the panels give way"
for size in "2 2" "1 300" "300 1" "640 360" "1280 720"; do
  # shellcheck disable=SC2086
  xdotool windowsize --sync "$window" $size 2>/dev/null || xdotool windowsize "$window" $size
  sleep 0.8
  alive
done
shot 700

echo "== an outside change to a track holding edits is not written over"
press Right Right Right Right
press Insert
sleep 0.5
before_text=$(cat texts/cam.dist.txt)
printf '# written by another program\n0 0 hold\n700 9 hold\n' >texts/cam.dist.txt
sleep 1.5
press ctrl+s
sleep 1
[ "$(cat texts/cam.dist.txt)" = "$(printf '# written by another program\n0 0 hold\n700 9 hold')" ] ||
  fail "the studio wrote over the outside change: $(head -3 texts/cam.dist.txt)"
[ "$before_text" != "$(cat texts/cam.dist.txt)" ] || fail "the outside change did not happen"
alive

echo "== a signal ends it with 128+N, its unsaved edits kept beside the texts"
outside=$(cat texts/cam.dist.txt)
kill -TERM "$studio_pid"
status=0
wait "$studio_pid" 2>/dev/null || status=$?
[ "$status" -eq 143 ] || fail "SIGTERM ended it with status $status, not 143"
[ -f texts/cam.dist.txt.recovery ] || fail "no recovery copy of the unsaved edits: $(ls texts)"
grep -q "^700 " texts/cam.dist.txt.recovery || fail "the recovery copy lacks the key inserted at row 700"
[ "$(cat texts/cam.dist.txt)" = "$outside" ] || fail "the signal wrote over the text"
rm texts/cam.dist.txt.recovery

echo "== --bench says how soon a seek is heard"
SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/dev/null timeout -k 5 60 "$studio" --dir stage --bench --size 640x360 \
  >bench.out 2>studio.err || fail "--bench failed"
grep -q "seek to sound median [0-9.]* ms" bench.out || fail "no seek latency in: $(cat bench.out)"

echo "== installed: told which presentation, a project of its own, nothing written into the install"
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
install_sum() { (cd "$prefix" && find . -type f -print0 | LC_ALL=C sort -z | xargs -0 sha256sum); }
installed=$(install_sum)
mkdir elsewhere
status=0
(cd elsewhere && "$prefix/bin/zirbelon-studio" >../none.out 2>../none.err) || status=$?
[ "$status" -eq 2 ] || fail "with no options outside a build it gave status $status"
grep -q -- "--new PROJECT" none.err || fail "it does not say what it needs: $(cat none.err)"
SDL_AUDIODRIVER=dummy "$prefix/bin/zirbelon-studio" --new project --row 600 --paused --size 1280x720 \
  >studio.out 2>studio.err &
studio_pid=$!
pids+=($studio_pid)
window=$(wait_window) || fail "no window for the new project"
sleep 2
for file in vaxo.mp3 sync_cam.dist.track tracks/cam.dist.txt shaders/landscape.glsl shaders/title.glsl; do
  [ -f "project/$file" ] || fail "the new project lacks $file"
done
press Right Right Right Right
press Insert
press Return
xdotool type --window "$window" --delay 50 "2.5"
press Return
press ctrl+s
sleep 1
grep -q "^600 2.5 " project/tracks/cam.dist.txt || fail "the project's text lacks the key"
"$prefix/bin/zirbelon-tracks" dump project/sync_cam.dist.track | grep -q "^600 2.5 " ||
  fail "the project's track file lacks the key"
press F12
wait_file project/shots/row-600.png || fail "no shot in the project's shots/"
"$prefix/bin/zirbelon-render" frame --row 600 --dir project --shader landscape=project/shaders/landscape.glsl \
  --shader title=project/shaders/title.glsl -o installed.png >/dev/null
cmp -s project/shots/row-600.png installed.png || fail "the project's shot differs from the installed renderer's frame"
press i
press Down
press o
press l
press v
for _ in $(seq 1 600); do ls project/shots/loop-*.mp4 >/dev/null 2>&1 && break; sleep 0.1; done
wait_file "$(ls project/shots/loop-*.mp4 2>/dev/null | head -n1)" ||
  fail "V rendered no video with the installed zirbelon-render: $(ls project/shots)"
press ctrl+q
for _ in $(seq 1 50); do kill -0 "$studio_pid" 2>/dev/null || break; sleep 0.1; done
! kill -0 "$studio_pid" 2>/dev/null || fail "Ctrl+Q did not quit the installed studio"
[ "$(install_sum)" = "$installed" ] || fail "the studio wrote into the install"
echo "studio e2e: all passed"
