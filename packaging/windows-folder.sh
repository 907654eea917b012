#!/usr/bin/env bash
# Fills the folder DEST with the Windows presentation as released: the program
# stripped of its symbols (2.5 MB become about 1 MB) with its link time set to
# EPOCH, the tune and the five track files of the stage folder STAGE, and
# zirbelon.txt (what it is, how to start and end it, what it needs, credits).
#   windows-folder.sh ZIRBELON_EXE STAGE DEST VERSION EPOCH
set -euo pipefail
exe=$1
stage=$2
dest=$3
version=$4
epoch=$5
here=$(dirname "$(realpath "$0")")

mkdir -p "$dest"
files=("$stage"/vaxo.mp3 "$stage"/sync_*.track)
[ ${#files[@]} -eq 6 ] || { echo "windows-folder: $stage holds ${#files[@]} content files, not 6" >&2; exit 1; }
for file in "$exe" "${files[@]}"; do
  [ -f "$file" ] || { echo "windows-folder: $file is missing" >&2; exit 1; }
done
cp "${files[@]}" "$dest/"
# strip writes the PE header anew, with SOURCE_DATE_EPOCH as the link time
# (else the current time) and a checksum over it.
SOURCE_DATE_EPOCH=$epoch x86_64-w64-mingw32-strip --strip-all -o "$dest/zirbelon.exe" "$exe"
sed "s/@VERSION@/$version/g" "$here/zirbelon.txt.in" >"$dest/zirbelon.txt"
