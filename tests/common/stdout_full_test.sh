#!/usr/bin/env bash
# A tool run with its standard output on a full device must end with 1 and
# say so on stderr, not lose its text in silence. The device is made in a
# scratch folder (a tool that replaced it would replace nothing real); skipped
# without root, which mknod needs.
#   stdout_full_test.sh TOOL [ARG...]
set -uo pipefail
[ "$(id -u)" -eq 0 ] || { echo "mknod needs root: skipped"; exit 0; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mknod "$scratch/full" c 1 7
err=$(timeout -k 5 60 "$@" 2>&1 >"$scratch/full"); status=$?
if [ "$status" -ne 1 ] || [[ "$err" != *"cannot write to standard output"* ]]; then
  echo "FAIL: $* onto a full device: status $status, stderr '$err'" >&2
  exit 1
fi
[ -c "$scratch/full" ] || { echo "FAIL: the device became a $(stat -c %F "$scratch/full")" >&2; exit 1; }
echo "$*: fails with 1 onto a full device"
