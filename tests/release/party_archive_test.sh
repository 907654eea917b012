#!/usr/bin/env bash
# The party archive: scripts/release run twice gives the same bytes (zip and
# tarball); the zip holds one folder with exactly zirbelon.exe, the tune, the
# five tracks, zirbelon.html, zirbelon.txt and the portable Linux folder; the
# page is the one the build made; the exe is
# stripped, carries the release time as its link time and imports only system
# DLLs; the text says how to start and end it and what it needs; the Linux
# folder in it is the one the build made and passes the ELF checks.
#   party_archive_test.sh WINDOWS_BUILD HOST_BUILD WORKDIR
set -euo pipefail
here=$(dirname "$(realpath "$0")")
top=$(realpath "$here/../..")
windows_build=$(realpath "$1")
host_build=$(realpath "$2")
work=$(realpath -m "$3")
rm -rf "$work"
mkdir -p "$work"
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

version=$(sed -n 's/^project(zirbelon VERSION \([0-9.]*\).*/\1/p' "$top/CMakeLists.txt")
name=zirbelon-$version
linux=$name-linux-x86_64
epoch=$("$top/packaging/source-epoch.sh" "$top")

for run in first second; do
  "$top/scripts/release" "$windows_build" "$host_build" >"$work/$run.log" 2>&1 || {
    tail -n 30 "$work/$run.log" >&2
    fail "scripts/release failed ($run run)"
  }
  cp "$host_build/$name.zip" "$work/$run.zip"
  cp "$host_build/$linux.tar.gz" "$work/$run.tar.gz"
done
cmp "$work/first.zip" "$work/second.zip" || fail "two runs gave different zips"
cmp "$work/first.tar.gz" "$work/second.tar.gz" || fail "two runs gave different tarballs"

cd "$work"
entries=$(zipinfo -1 first.zip | sed 's|/$||')
[ "$entries" = "$(LC_ALL=C sort <<<"$entries")" ] || fail "the zip's entries are not sorted"
files=$(zipinfo -1 first.zip | grep -v '/$' | grep -v "^$name/$linux/")
expected=$(printf "$name/%s\n" sync_cam.dist.track sync_cam.rot.track sync_clear.b.track sync_clear.g.track \
  sync_clear.r.track vaxo.mp3 zirbelon.exe zirbelon.html zirbelon.txt | LC_ALL=C sort)
[ "$files" = "$expected" ] || fail "the zip's folder holds: $files"
# Every entry carries the release time (zip keeps local time in 2 s steps,
# rounding up; the archive's is UTC).
stamp=$(TZ=UTC date -d "@$(((epoch + 1) / 2 * 2))" +%Y%m%d.%H%M%S)
zipinfo -T first.zip | awk -v stamp="$stamp" '/^[-d]/ && $7 != stamp { bad = 1; print } END { exit bad }' >&2 ||
  fail "entries do not carry the release time $stamp"

mkdir unpacked
unzip -q first.zip -d unpacked
exe=unpacked/$name/zirbelon.exe
x86_64-w64-mingw32-nm "$exe" 2>&1 | grep -q "no symbols" || fail "zirbelon.exe is not stripped"
! x86_64-w64-mingw32-objdump -h "$exe" | grep -q '\.debug' || fail "zirbelon.exe keeps debug sections"
link_time=$(od -An -t u4 -j $(($(od -An -t u4 -j 60 -N 4 "$exe") + 8)) -N 4 "$exe" | tr -d ' ')
[ "$link_time" = "$epoch" ] || fail "zirbelon.exe's link time is $link_time, not $epoch"
"$top/tests/windows/imports_test.sh" "$exe"
size=$(stat -c %s "$exe")
[ "$size" -lt 1500000 ] || fail "zirbelon.exe is $size bytes"

text=unpacked/$name/zirbelon.txt
cmp "$host_build/web/zirbelon.html" "unpacked/$name/zirbelon.html" || fail "the zip's page is not the build's"

for phrase in "zirbelon $version" "zirbelon.exe" "./zirbelon" "zirbelon.html" "Escape or Alt+F4" "OpenGL 2.0" \
  "1920x1080" "Credits"; do
  grep -qF "$phrase" "$text" || fail "zirbelon.txt does not say \"$phrase\""
done

diff -r "$host_build/$linux" "unpacked/$name/$linux" || fail "the zip's Linux folder is not the build's"
[ -x "unpacked/$name/$linux/zirbelon" ] || fail "the Linux program lost its execute bit"
"$here/portable_elf_test.sh" "unpacked/$name/$linux"
mkdir untarred
tar -xzf first.tar.gz -C untarred
diff -r "$host_build/$linux" "untarred/$linux" || fail "the tarball's folder is not the build's"
echo "party archive: zip $(stat -c %s first.zip) bytes, tarball $(stat -c %s first.tar.gz) bytes," \
  "exe $size bytes; all passed"
