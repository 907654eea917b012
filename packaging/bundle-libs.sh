#!/usr/bin/env bash
# Copies into LIBDIR the shared libraries PROGRAM needs that a fresh desktop
# may lack: every library it needs, directly or through another copied one,
# that is not in the system set (system-set.sh). Libraries of the system set
# are not followed: what they need is the system's too. Each library is copied
# under its soname, as a plain file.
#   bundle-libs.sh PROGRAM LIBDIR
set -euo pipefail
program=$1
libdir=$2
source "$(dirname "$(realpath "$0")")/system-set.sh"

needed() { readelf -d "$1" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'; }
# Where the dynamic linker would find a library on this machine.
locate() { ldconfig -p | awk -v name="$1" '$1 == name && /x86-64/ && !found { print $NF; found = 1 }'; }

rm -rf "$libdir"
mkdir -p "$libdir"
queue=("$program")
while [ ${#queue[@]} -gt 0 ]; do
  object=${queue[0]}
  queue=("${queue[@]:1}")
  for name in $(needed "$object"); do
    [[ $name =~ $system_set ]] && continue
    [ -e "$libdir/$name" ] && continue
    path=$(locate "$name")
    [ -n "$path" ] || { echo "bundle-libs: $name, needed by $object, is not on this machine" >&2; exit 1; }
    cp -L "$path" "$libdir/$name"
    chmod 644 "$libdir/$name"
    queue+=("$libdir/$name")
  done
done
ls "$libdir"
