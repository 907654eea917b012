#!/usr/bin/env bash
# The portable Linux folder's ELF files need nothing a fresh desktop with
# glibc 2.35 may lack: every library they name is in lib/ or in the system set
# of packaging/system-set.sh (glibc, the GL driver, the X11 and Wayland client
# libraries, ALSA and PulseAudio); no symbol asks for a glibc newer than 2.35;
# the C++ runtime is built in (no GLIBCXX, CXXABI or GCC version needed); the
# program finds lib/ through $ORIGIN. Prints the newest glibc version any file
# needs.
#   portable_elf_test.sh FOLDER
set -euo pipefail
folder=$1
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

source "$(dirname "$(realpath "$0")")/../../packaging/system-set.sh"
ceiling=2.35

[ -x "$folder/zirbelon" ] || fail "no program $folder/zirbelon"
for name in vaxo.mp3 sync_clear.r.track sync_clear.g.track sync_clear.b.track sync_cam.rot.track \
  sync_cam.dist.track; do
  [ -s "$folder/$name" ] || fail "no $name in the folder"
done
for name in libSDL2-2.0.so.0 libmpg123.so.0; do
  [ -f "$folder/lib/$name" ] || fail "lib/ lacks $name"
done

rpath=$(readelf -d "$folder/zirbelon" | sed -n 's/.*(RPATH).*\[\(.*\)\]/\1/p')
[ "$rpath" = '$ORIGIN/lib' ] || fail "the program's rpath is '${rpath}', not '\$ORIGIN/lib'"

newest=0
elves=0
while IFS= read -r -d '' file; do
  [ "$(head -c 4 "$file" | od -An -c | tr -d ' ')" = '177ELF' ] || continue
  elves=$((elves + 1))
  for name in $(readelf -d "$file" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
    [[ $name =~ $system_set ]] || [ -f "$folder/lib/$name" ] ||
      fail "$file needs $name, which is neither in lib/ nor in the system set"
  done
  versions=$(readelf -V --wide "$file" | sed -n 's/.*Name: \([A-Z_]*_[0-9][0-9.]*\).*/\1/p' | sort -u)
  if grep -qE '^(GLIBCXX|CXXABI|GCC)_' <<<"$versions"; then
    fail "$file needs the C++ runtime or libgcc_s: $(grep -E '^(GLIBCXX|CXXABI|GCC)_' <<<"$versions" | tr '\n' ' ')"
  fi
  for version in $(sed -n 's/^GLIBC_//p' <<<"$versions"); do
    [ "$(printf '%s\n%s\n' "$version" "$ceiling" | sort -V | tail -n 1)" = "$ceiling" ] ||
      fail "$file needs GLIBC_$version, newer than $ceiling"
    [ "$(printf '%s\n%s\n' "$version" "$newest" | sort -V | tail -n 1)" = "$version" ] && newest=$version
  done
done < <(find "$folder" -type f -print0)
[ "$elves" -ge 3 ] || fail "only $elves ELF files in the folder"
echo "portable folder: $elves ELF files, the newest glibc needed is $newest (at most $ceiling allowed)"
