#!/usr/bin/env bash
# Prints the time the release files carry: SOURCE_DATE_EPOCH when set, else
# the last commit's time, so that the same sources give the same archives.
#   source-epoch.sh SOURCE_DIR
set -euo pipefail
if [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
  echo "$SOURCE_DATE_EPOCH"
elif git -C "$1" rev-parse --git-dir >/dev/null 2>&1; then
  git -C "$1" log -1 --format=%ct
else
  echo "source-epoch: set SOURCE_DATE_EPOCH (no git checkout to take the time from)" >&2
  exit 1
fi
