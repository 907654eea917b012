#!/usr/bin/env bash
# `cmake --install` into a scratch prefix gives the layout the README promises:
# the tools and the launcher in bin/, the presentation's folder (its program,
# tune and five tracks, nothing else) in lib/zirbelon, a man page per tool that
# `man` finds under the prefix, the desktop entry and its icon. Then the
# launcher, started from another folder and through a symlink, must run the
# presentation from its folder: under a virtual display, with tracks that hold
# y and rot still, the screen must match the offline frame, and Escape must end
# it with status 0.
#   install_test.sh BUILD ZIRBELON_RENDER ZIRBELON_TRACKS WORKDIR
set -euo pipefail
build=$(realpath "$1")
prefix=$(realpath -m "$4")-prefix
rm -rf "$prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
source "$(dirname "$(realpath "$0")")/../e2e/e2e_lib.sh" "$prefix/lib/zirbelon/zirbelon" "$2" "$3" "$4"

echo "== the layout under $prefix"
for tool in zirbelon zirbelon-render zirbelon-tracks zirbelon-synth zirbelon-studio; do
  [ -x "$prefix/bin/$tool" ] || fail "no bin/$tool"
done
folder=$prefix/lib/zirbelon
expected_folder="sync_cam.dist.track sync_cam.rot.track sync_clear.b.track sync_clear.g.track sync_clear.r.track"
expected_folder+=" vaxo.mp3 zirbelon"
[ "$(cd "$folder" && ls | LC_ALL=C sort | tr '\n' ' ')" = "$expected_folder " ] ||
  fail "lib/zirbelon holds $(ls "$folder" | tr '\n' ' '), not $expected_folder"
version=$(sed -n 's/^project(zirbelon VERSION \([0-9.]*\).*/\1/p' "$(dirname "$(realpath "$0")")/../../CMakeLists.txt")
"$prefix/bin/zirbelon-tracks" --version | grep -q "^zirbelon-tracks $version" ||
  fail "the installed tool gives another version than $version"

desktop=$prefix/share/applications/zirbelon.desktop
grep -qx 'Exec=zirbelon' "$desktop" || fail "the desktop entry does not start the launcher"
grep -qx 'Icon=zirbelon' "$desktop" || fail "the desktop entry names another icon"
grep -qx 'Type=Application' "$desktop" || fail "the desktop entry is not an application"
icon=$prefix/share/icons/hicolor/256x256/apps/zirbelon.png
[ "$(identify -format '%m %wx%h' "$icon")" = "PNG 256x256" ] || fail "the icon is not a 256x256 PNG"

for tool in zirbelon-render zirbelon-tracks zirbelon-synth zirbelon-studio; do
  page=$(man -M "$prefix/share/man" -w "$tool") || fail "man finds no page for $tool under the prefix"
  [[ $page == "$prefix"/* ]] || fail "man found $tool's page at $page, outside the prefix"
  # The page is the tool's own --help: its first option line is in it.
  text=$(MANWIDTH=200 man -M "$prefix/share/man" "$tool" 2>/dev/null)
  grep -q -- '--version' <<<"$text" || fail "$tool's page lacks its options"
  grep -q "$tool" <<<"$text" || fail "$tool's page does not name it"
done

echo "== the launcher, from another folder and through a symlink"
write_constant_track "$folder/sync_cam.dist.track" 4 # y
write_constant_track "$folder/sync_cam.rot.track" 2  # rot
ln -s "$prefix/bin/zirbelon" linked-launcher
# -noreset: an X server that starts afresh when its last client leaves turns
# away a program that connects in that moment ("no display"): each program
# here starts right after the one before it ended.
start_x_server Xvfb -screen 0 1920x1080x24 -nolisten tcp -noreset
(cd / && SDL_AUDIODRIVER=dummy timeout -k 5 120 "$work/linked-launcher") >launcher.out 2>&1 &
pid=$!
pids+=($pid)
window=$(wait_window zirbelon) || fail "no window: $(cat launcher.out)"
sleep 4 # a few frames
screen_matches launcher.png || fail "the screen does not match the offline frame (see $work/diff-launcher.png)"
xdotool key --window "$window" Escape
status=0
wait "$pid" || status=$?
[ "$status" -eq 0 ] || fail "exit status $status after Escape: $(cat launcher.out)"
echo "install: all passed"
