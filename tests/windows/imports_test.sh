#!/usr/bin/env bash
# The Windows program as a file: a 64-bit console program that imports only
# DLLs every Windows has, so that it runs from its folder with nothing installed,
# and no socket library: only the live link's programs take sockets.
#   imports_test.sh ZIRBELON_EXE
set -euo pipefail
headers=$(x86_64-w64-mingw32-objdump -p "$1")
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

grep -q '^Magic[[:space:]]*020b' <<<"$headers" || fail "not a 64-bit (PE32+) program"
grep -q '^Subsystem[[:space:]]*00000003' <<<"$headers" || fail "not a console-subsystem program"

system_dlls=" KERNEL32.dll USER32.dll GDI32.dll OPENGL32.dll WINMM.dll MSACM32.dll msvcrt.dll "
imports=$(awk '/DLL Name:/ { print $3 }' <<<"$headers")
[ -n "$imports" ] || fail "no imports found"
for dll in $imports; do
  case ${dll,,} in
  ws2_32.dll | wsock32.dll) fail "imports $dll: the presentation takes no socket code" ;;
  esac
done
for dll in $imports; do
  [[ $system_dlls == *" $dll "* ]] || fail "imports $dll, which is not part of Windows"
done
# The window takes no messages: without this call Windows covers it with a
# frozen copy after 5 seconds.
grep -q '[[:space:]]DisableProcessWindowsGhosting$' <<<"$headers" ||
  fail "does not import DisableProcessWindowsGhosting"
echo "imports:" $imports
