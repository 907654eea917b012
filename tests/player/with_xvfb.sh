#!/usr/bin/env bash
# Runs a command on a virtual display of its own (Xvfb, 1024x768, on the first
# free display number), which is stopped by its PID afterwards; the command's
# exit status is the script's.
#   with_xvfb.sh COMMAND [ARGUMENT...]
set -euo pipefail
log=$(mktemp)
xvfb=""
cleanup() {
  if [ -n "$xvfb" ]; then
    kill "$xvfb" 2>/dev/null || true
    wait "$xvfb" 2>/dev/null || true
  fi
  rm -f "$log"
}
trap cleanup EXIT

# -noreset: when its last client goes, the server would start afresh and turn
# away for a moment a program that opens the display again.
exec {displayfd}<> <(:)
Xvfb -displayfd "$displayfd" -screen 0 1024x768x24 -nolisten tcp -noreset >"$log" 2>&1 &
xvfb=$!
read -r -t 30 -u "$displayfd" number || { echo "with_xvfb: Xvfb did not start: $(cat "$log")" >&2; exit 1; }
exec {displayfd}>&-
DISPLAY=":$number" "$@"
