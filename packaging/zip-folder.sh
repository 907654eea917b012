#!/usr/bin/env bash
# Zips the folder PARENT/NAME into ARCHIVE so that the same files give the
# same bytes: entries in byte order, every time set to EPOCH (in UTC), modes
# reduced to 644 and 755 (executables and folders), no extra fields with
# owners or other times.
#   zip-folder.sh ARCHIVE PARENT NAME EPOCH
set -euo pipefail
archive=$(realpath -m "$1")
parent=$2
name=$3
epoch=$4
cd "$parent"
find "$name" -type d -exec chmod 755 {} +
find "$name" -type f -perm /111 -exec chmod 755 {} +
find "$name" -type f ! -perm /111 -exec chmod 644 {} +
find "$name" -exec touch -h -d "@$epoch" {} +
rm -f "$archive"
find "$name" | LC_ALL=C sort | TZ=UTC zip -q -X -D -@ "$archive"
