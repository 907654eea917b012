#!/usr/bin/env bash
# The portable folder runs where SDL2 and libmpg123 are not installed: in a
# mount namespace of its own, an empty file is bind-mounted over this
# machine's libSDL2 and libmpg123 (the build's own program, which links them
# from the system, must then fail to start: proof that they are hidden), and
# a copy of the folder, with tracks that hold y and rot still, must show the
# offline frame under a virtual display and end with status 0 on Escape. Needs
# root for the namespace; otherwise the test is skipped (exit 77).
#   portable_hidden_test.sh PORTABLE_FOLDER SYSTEM_ZIRBELON ZIRBELON_RENDER ZIRBELON_TRACKS WORKDIR
set -euo pipefail
if [ "$(id -u)" -ne 0 ] || ! unshare -m true 2>/dev/null; then
  echo "skipped: hiding the system's libraries needs root and a mount namespace"
  exit 77
fi
portable=$(realpath "$1")
system_zirbelon=$(realpath "$2")
source "$(dirname "$(realpath "$0")")/../e2e/e2e_lib.sh" "$system_zirbelon" "$3" "$4" "$5"

rm -rf folder
cp -a "$portable" folder
cp stage/sync_cam.dist.track stage/sync_cam.rot.track folder/
: >empty
hidden=()
for name in libSDL2-2.0.so.0 libmpg123.so.0; do
  path=$(ldd "$system_zirbelon" | awk -v name="$name" '$1 == name { print $3 }')
  [ -n "$path" ] || fail "the system's program does not load $name"
  hidden+=("$(realpath "$path")")
done

# -noreset: an X server that starts afresh when its last client leaves turns
# away a program that connects in that moment ("no display"): each program
# here starts right after the one before it ended.
start_x_server Xvfb -screen 0 1920x1080x24 -nolisten tcp -noreset

# Runs inside the namespace: hide the libraries, check they are hidden, then
# start the folder's program in the background and print its PID.
cat >hidden.sh <<'EOT'
set -eu
for path in "$@"; do mount --bind empty "$path"; done
if (cd stage && ./zirbelon) 2>system.err; then exit 3; fi
grep -q "libSDL2\|libmpg123" system.err || exit 4
cd folder && SDL_AUDIODRIVER=dummy exec timeout -k 5 120 ./zirbelon
EOT
unshare -m --propagation private bash hidden.sh "${hidden[@]}" >portable.out 2>&1 &
pid=$!
pids+=($pid)
window=$(wait_window zirbelon) || {
  wait "$pid" || status=$?
  case "${status:-0}" in
    3) fail "the system's libraries are not hidden: the build's program started" ;;
    4) fail "the build's program failed for another reason: $(cat system.err)" ;;
  esac
  fail "no window: $(cat portable.out)"
}
sleep 4 # a few frames
screen_matches portable.png || fail "the screen does not match the offline frame (see $work/diff-portable.png)"
xdotool key --window "$window" Escape
status=0
wait "$pid" || status=$?
[ "$status" -eq 0 ] || fail "exit status $status after Escape: $(cat portable.out)"
grep -q "libSDL2\|libmpg123" system.err || fail "the build's program did not fail for lack of its libraries"
echo "portable, hidden libraries: all passed"
