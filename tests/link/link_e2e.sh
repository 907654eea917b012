#!/usr/bin/env bash
# The studio and the player over the live link on loopback, each on a virtual
# display of its own (the player's at 1920x1080, fullscreen), the studio driven
# with xdotool:
# - linked, the player's screen is the offline frame of the studio's row;
# - a key edited in the studio shows on the player at that row, as the offline
#   renderer draws it from the saved tracks;
# - a shader changed on disk shows on the player; a broken one leaves it
#   drawing with the last good one;
# - a pause after playing leaves the player on the studio's own row (its F12
#   shot and the player's screen are the same picture);
# - a studio killed leaves the player running; a new studio on the same port
#   gets it back, and it shows the new studio's row;
# - garbage sent to the studio's port ends only that connection; a fake studio
#   that sends garbage ends only the player's connection, which comes back.
#   link_e2e.sh ZIRBELON_STUDIO ZIRBELON_PLAYER ZIRBELON_RENDER ZIRBELON_TRACKS SOURCE_DIR TITLE_GLSL WORKDIR
set -euo pipefail
player=$(realpath "$2")
here=$(dirname "$(realpath "$0")")
# shellcheck source=link_e2e_lib.sh
source "$here/link_e2e_lib.sh" "$1" "$3" "$4" "$5" "$6" "$7"
start_x player_display 1920x1080x24
export SDL_AUDIODRIVER=dummy

start_studio 600
DISPLAY=$player_display "$player" stage --link "127.0.0.1:$port" >player.out 2>player.err &
player_pid=$!
pids+=($player_pid)
wait_links 1

echo "== linked, the player shows the studio's row"
expect_row 600 row-600.png
player_shows linked row-600.png

echo "== a key edited in the studio shows on the player at that row"
key_edit_at_601 3.25
expect_row 601 edited.png
player_shows edited edited.png

echo "== a shader changed in the studio shows on the player"
cat >flat.glsl <<'GLSL'
void main() { gl_FragColor = vec4(0.25, 0.5, 0.75, 1.0); }
GLSL
cp landscape.glsl original.glsl
cp flat.glsl landscape.glsl
"$render" frame --row 601 --dir stage --shader landscape=flat.glsl --shader title=title.glsl -o flat.png >/dev/null
player_shows shader flat.png
echo 'void main() { gl_FragColor = nonsense; }' >landscape.glsl
sleep 3
player_alive
player_shows broken-shader flat.png
cp original.glsl landscape.glsl
player_shows shader-back edited.png

echo "== play, then pause: the player stands on the studio's row"
press space
sleep 3
press space
sleep 1
rm -f shots/row-*.png
press F12
for _ in $(seq 1 100); do ls shots/row-*.png >/dev/null 2>&1 && break; sleep 0.1; done
shot=$(ls shots/row-*.png | head -n1)
[ -n "$shot" ] || fail "no F12 shot"
stood=$(basename "$shot" .png)
stood=${stood#row-}
awk -v row="$stood" 'BEGIN { exit !(row > 605) }' || fail "playing for 3 s moved the studio only to row $stood"
player_shows paused "$shot"

echo "== the studio killed, the player plays on; a new studio gets it back"
kill -KILL "$studio_pid"
wait "$studio_pid" 2>/dev/null || true
sleep 3
player_alive
grep -q "no link to the studio" player.err || fail "the player did not tell that the link went"
start_studio 700
wait_links 2
expect_row 700 row-700.png
player_shows relinked row-700.png

echo "== garbage to the studio's port ends only that connection"
exec {garbage}<>"/dev/tcp/127.0.0.1/$port"
printf 'GET / HTTP/1.1\r\nHost: studio\r\n\r\n' >&$garbage
sleep 1
exec {garbage}>&-
kill -0 "$studio_pid" 2>/dev/null || fail "garbage ended the studio"
press Down
expect_row 701 row-701.png
player_shows after-garbage row-701.png

echo "== a fake studio that sends garbage ends only the player's connection"
kill -KILL "$studio_pid"
wait "$studio_pid" 2>/dev/null || true
# The first bytes a studio sends must be "ZL": anything else ends the link.
printf 'HTTP/1.0 200 OK\r\n\r\nhello' >garbage.bin
socat -u OPEN:garbage.bin "TCP-LISTEN:$port,reuseaddr" &
fake=$!
pids+=($fake)
for _ in $(seq 1 $((patience * 10))); do
  grep -q "bad bytes" player.err && break
  sleep 0.1
done
grep -q "bad bytes" player.err || fail "the player did not end the fake studio's link with a reason"
wait "$fake" 2>/dev/null || true
player_alive
start_studio 720
wait_links 3
expect_row 720 row-720.png
player_shows after-fake row-720.png
echo "link e2e: all passed"
