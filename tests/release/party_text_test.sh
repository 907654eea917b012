#!/usr/bin/env bash
# The party archive's zirbelon.txt tells what the presentation does without a
# sound device, in the driver's own words: the two boxes it shows, then its
# first picture held (the clock of a stream that failed), never a silent run.
#   party_text_test.sh SOURCE_DIR
set -euo pipefail
text=$1/packaging/zirbelon.txt.in
driver=$1/intro/intro.cpp
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

for message in "failed to init bass" "failed to open tune"; do
  grep -qF "show_error(\"$message\")" "$driver" || fail "the driver no longer shows \"$message\""
  # The text may break a message across lines; compare it with its lines joined.
  tr -s ' \n' ' ' <"$text" | grep -qF "\"$message\"" || fail "zirbelon.txt does not name \"$message\""
done
tr -s ' \n' ' ' <"$text" | grep -qF "holds its first picture" || fail "zirbelon.txt does not say the picture holds"
! grep -qi "runs silent" "$text" || fail "zirbelon.txt says it runs silent"
echo "zirbelon.txt: what happens without sound, as the driver does it"
