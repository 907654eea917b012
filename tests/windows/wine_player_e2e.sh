#!/usr/bin/env bash
# zirbelon-player.exe under Wine follows the Linux studio over the live link
# on loopback: linked, its screen is the offline frame of the studio's row, and
# a key edited in the studio changes it to the offline frame of that row with
# the edited tracks. The player runs fullscreen on the caller's virtual
# 1920x1080 display and Wine prefix, without sound (its clock runs alone); the
# studio on a virtual display of its own.
#   wine_player_e2e.sh PLAYER_EXE ZIRBELON_STUDIO ZIRBELON_RENDER ZIRBELON_TRACKS SOURCE_DIR TITLE_GLSL WORKDIR
#   (DISPLAY, WINEPREFIX and a running wineserver come from the caller)
set -euo pipefail
player_exe=$(realpath "$1")
player_display=$DISPLAY
here=$(dirname "$(realpath "$0")")
# shellcheck source=../link/link_e2e_lib.sh
source "$here/../link/link_e2e_lib.sh" "$2" "$3" "$4" "$5" "$6" "$7"
cp "$player_exe" stage/zirbelon-player.exe

start_studio 600
(cd stage && WINEDEBUG=-all exec timeout -k 5 600 wine zirbelon-player.exe --link "127.0.0.1:$port") \
  >player.out 2>player.err &
player_pid=$!
pids+=($player_pid)
wait_links 1

echo "== linked, the Windows player shows the studio's row"
expect_row 600 row-600.png
player_shows linked row-600.png

echo "== a key edited in the Linux studio shows on the Windows player"
key_edit_at_601 3.25
expect_row 601 edited.png
player_shows edited edited.png
echo "wine player e2e: all passed"
