#!/usr/bin/env bash
# The real zirbelon-synth binary: scores whose notes are written to cost far
# more than their song's length (under a memory limit, so a regression fails
# rather than takes the machine), sharps, and outputs onto a full device.
#   zirbelon_synth_test.sh ZIRBELON_SYNTH SANITIZED(ON|OFF)
set -uo pipefail
tool=$1
sanitized=${2:-OFF}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# 4 seconds of song: 176400 frames of 4 bytes after a 44-byte header.
head='tempo 120
meter 4 4
bars 2
instrument lead saw release 0.5'
wav_bytes=705644

# Under 1 GiB of address space: the song needs a few MB. A sanitizer's shadow
# memory cannot live under such a limit; there its allocator's own ceiling
# catches the same fault.
limit() { if [ "$sanitized" = ON ]; then "$@"; else (ulimit -v 1048576 && exec "$@"); fi; }

# One note tied over 2,000,000 steps (a 3.9 MB score), and a 1000-note chord.
{ echo "$head"; printf 'pattern p lead c4'; for ((i = 0; i < 2000; i++)); do printf '%.0s -' {1..1000}; done
  printf '\nplay 1-2 p\n'; } >"$scratch/long.score"
chord=c4
for ((i = 1; i < 1000; i++)); do chord+=",$(printf '%s' cdefgab | cut -c$((i % 7 + 1)))$((i % 7 + 1))"; done
{ echo "$head"; echo "pattern p lead $chord - - - - - - - - - - - - - - -"; echo "play 1-2 p"; } >"$scratch/chord.score"
for score in long chord; do
  err=$(limit timeout -k 5 300 "$tool" -q "$scratch/$score.score" -o "$scratch/$score.wav" 2>&1); status=$?
  [ "$status" -eq 0 ] || fail "$score: status $status, stderr '$err'"
  [ "$(stat -c %s "$scratch/$score.wav" 2>/dev/null)" = "$wav_bytes" ] || fail "$score: not a 4-second WAV"
done

# Sharps in a pattern, a comment after a word, from standard input.
out=$(printf '%s\npattern p lead c#3 f#4,c#5 - g#2 # a sharp: c#4\nplay 1 p\n' "$head" |
  "$tool" -q - -o - | wc -c)
[ "$out" = "$wav_bytes" ] || fail "a score with sharps gave $out bytes"

# A full device: the WAV is far bigger than stdio's buffer; help and version
# are small. Each fails with 1 and says so.
if [ "$(id -u)" -eq 0 ]; then
  mknod "$scratch/full" c 1 7
  err=$("$tool" -q "$scratch/chord.score" -o "$scratch/full" 2>&1); status=$?
  { [ "$status" -eq 1 ] && [[ "$err" == *"No space left on device"* ]]; } ||
    fail "-o a full device: status $status, stderr '$err'"
  for args in "-q $scratch/chord.score -o -" "--help" "--version"; do
    # shellcheck disable=SC2086 # the arguments' words
    err=$("$tool" $args 2>&1 >"$scratch/full"); status=$?
    { [ "$status" -eq 1 ] && [[ "$err" == *"No space left on device"* || "$err" == *"standard output"* ]]; } ||
      fail "$args onto a full device: status $status, stderr '$err'"
  done
  [ -c "$scratch/full" ] || fail "the full device became a $(stat -c %F "$scratch/full")"
fi

[ "$failures" -eq 0 ] && echo "zirbelon-synth: all checks passed"
exit $((failures > 0))
