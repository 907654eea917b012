#!/usr/bin/env bash
# Runs the real zirbelon-tracks: the worked values through `value`, build/dump
# round trips, bad input that must fail with a line number and no output, and
# plots of the right size whose wrong command lines write nothing.
#   zirbelon_tracks_test.sh PATH_TO_ZIRBELON_TRACKS
set -uo pipefail
tool=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0

fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# expect_values FILE "ROW EXPECTED" ... : each value within 1e-12 of EXPECTED.
expect_values() {
  local file=$1; shift
  local rows=() expected=() pair
  for pair in "$@"; do rows+=("${pair% *}"); expected+=("${pair#* }"); done
  local out
  if ! out=$("$tool" value "$file" "${rows[@]}"); then fail "value $file ${rows[*]} failed"; return; fi
  local i=0 line
  while IFS= read -r line; do
    if ! awk -v got="$line" -v want="${expected[$i]}" \
        'BEGIN { d = got - want; if (d < 0) d = -d; exit !(d <= 1e-12) }'; then
      fail "$file row ${rows[$i]}: got $line, want ${expected[$i]}"
    fi
    i=$((i + 1))
  done <<<"$out"
  [ "$i" -eq "${#rows[@]}" ] || fail "$file: $i lines for ${#rows[@]} rows"
}

# The worked pair (0, 0, KIND), (10, 10), in a folder whose name has an underscore.
mkdir -p "$scratch/my_dir"
for kind in linear smoothstep quadratic hold; do
  printf '# the worked pair\n0 0 %s\n10 10 hold\n' "$kind" >"$scratch/$kind.txt"
  "$tool" build "$scratch/$kind.txt" -o "$scratch/my_dir/sync_cam.$kind.track" || fail "build $kind"
done
expect_values "$scratch/my_dir/sync_cam.linear.track" "5.5 5.5" "0 0" "9.99 9.99" "10 10" "-3 0" "1000 10" "-3.5 0"
expect_values "$scratch/my_dir/sync_cam.smoothstep.track" "5 5" "2.5 1.5625"
expect_values "$scratch/my_dir/sync_cam.quadratic.track" "5 2.5"
expect_values "$scratch/my_dir/sync_cam.hold.track" "0 0" "5 0" "9.99 0" "10 10" "-3 0"
[ "$("$tool" value "$scratch/my_dir/sync_cam.linear.track" 9.99)" = "9.9900000000000002" ] ||
  fail "value is not printed with 17 significant digits"

# Canonical text survives build then dump exactly, and the bytes survive dump then build.
cat >"$scratch/canonical.txt" <<'TEXT'
-2147483648 0.1 -128
-1 -0 -1
0 1e-45 0
1 3.4028235e+38 1
2 -3.4028235e+38 2
10 16777216 1
2147483647 0.33333334 1
TEXT
"$tool" build "$scratch/canonical.txt" -o "$scratch/round.track" || fail "build canonical"
"$tool" dump "$scratch/round.track" >"$scratch/dumped.txt" || fail "dump canonical"
cmp -s "$scratch/canonical.txt" "$scratch/dumped.txt" || fail "build then dump differs: $(diff "$scratch/canonical.txt" "$scratch/dumped.txt")"
"$tool" build "$scratch/dumped.txt" -o "$scratch/again.track" || fail "build dumped"
cmp -s "$scratch/round.track" "$scratch/again.track" || fail "dump then build changes the bytes"
[ "$(stat -c %s "$scratch/round.track")" -eq $((8 + 9 * 7)) ] || fail "wrong file size"
printf '0 0 smoothstep\n' | "$tool" build - -o "$scratch/stdin.track" || fail "build from standard input"
[ "$("$tool" dump "$scratch/stdin.track")" = "0 0 2" ] || fail "kind names become numbers"

# Bad text: a line-numbered error, no new file, an old file left as it was, no temp files.
bad_case() {  # TEXT EXPECTED_LINE_MARK
  printf '%b' "$1" >"$scratch/bad.txt"
  local err
  if err=$("$tool" build "$scratch/bad.txt" -o "$scratch/out/bad.track" 2>&1); then
    fail "bad text '$1' was accepted"
  fi
  [[ "$err" == *"bad.txt:$2:"* ]] || fail "bad text '$1': error does not name line $2: $err"
  [ ! -e "$scratch/out/bad.track" ] || fail "bad text '$1' left an output file"
  if err=$("$tool" build "$scratch/bad.txt" -o "$scratch/out/kept.track" 2>&1); then fail "accepted twice"; fi
  cmp -s "$scratch/out/kept.track" "$scratch/round.track" || fail "bad text '$1' clobbered an existing file"
}
mkdir -p "$scratch/out"
cp "$scratch/round.track" "$scratch/out/kept.track"
bad_case '0 0 1\n10 1 1\n5 2 1\n' 3
bad_case '# c\n0 0 1\n0 1 1\n' 3
bad_case '0 0 bogus\n' 1
bad_case '0 0\n' 1
bad_case '\n\n0 1e40 1\n' 3
bad_case '2147483648 0 1\n' 1
# Values a key may not take: infinite, not a number, beyond a float's range.
bad_case '0 0 1\n10 inf 1\n' 2
bad_case '0 -inf 1\n' 1
bad_case '0 nan 1\n' 1
bad_case '0 0 1\n\n5 1e39 1\n' 3
[ -z "$(ls "$scratch/out" | grep -v '^kept.track$')" ] || fail "temp files left: $(ls "$scratch/out")"

# Failures go to standard error with a non-zero status, never a crash.
expect_error() {  # DESCRIPTION COMMAND...
  local what=$1; shift
  local err status
  err=$("$@" 2>&1 >/dev/null); status=$?
  if [ "$status" -eq 0 ] || [ "$status" -ge 126 ] || [ -z "$err" ]; then
    fail "$what: status $status, stderr '$err'"
  fi
}
expect_error "no command" "$tool"
expect_error "unknown command" "$tool" frobnicate
expect_error "dump of a missing file" "$tool" dump "$scratch/none_x.track"
expect_error "value of a missing file" "$tool" value "$scratch/none_x.track" 1
expect_error "value without rows" "$tool" value "$scratch/my_dir/sync_cam.linear.track"
# A negative row that is not finite is a row, refused as one, not an unknown option.
for row in -inf -nan; do
  err=$("$tool" value "$scratch/my_dir/sync_cam.linear.track" "$row" 2>&1 >/dev/null) && fail "value at row $row worked"
  [[ "$err" == *"'$row'"* && "$err" != *"unknown option"* ]] || fail "value at row $row says: $err"
done
expect_error "value with a bad row" "$tool" value "$scratch/my_dir/sync_cam.linear.track" 1x
expect_error "value of a file not named BASE_NAME.track" "$tool" value "$scratch/round.track" 1
expect_error "build without -o" "$tool" build "$scratch/canonical.txt"
expect_error "build of a missing text" "$tool" build "$scratch/none.txt" -o "$scratch/none.track"
expect_error "build into a missing folder" "$tool" build "$scratch/canonical.txt" -o "$scratch/no/such.track"
for command in "" dump build value; do
  # shellcheck disable=SC2086
  out=$("$tool" $command --help) || fail "'$command --help' failed"
  [[ "$out" == Usage:* ]] || fail "'$command --help' prints no usage"
done

# A file shorter than its count dumps its whole keys and says so.
head -c 20 "$scratch/round.track" >"$scratch/short.track"
out=$("$tool" dump "$scratch/short.track" 2>"$scratch/short.err") || fail "dump of a short file failed"
[ "$out" = "-2147483648 0.1 -128" ] || fail "short file dumped as '$out'"
grep -q "promises 7 keys but holds 1" "$scratch/short.err" || fail "no note on the short file"

# plot: a PNG of the asked size, the default size without --size, and wrong
# command lines that fail with a message and write nothing.
png_size() {  # FILE: "WIDTHxHEIGHT" from the PNG's header, or nothing when it is no PNG
  [ "$(head -c 8 "$1" | od -An -tx1 | tr -d ' \n')" = "89504e470d0a1a0a" ] || return
  local bytes
  read -ra bytes <<<"$(od -An -tu1 -j16 -N8 "$1")"
  echo "$(((bytes[0] << 24) | (bytes[1] << 16) | (bytes[2] << 8) | bytes[3]))x$(((bytes[4] << 24) | (bytes[5] << 16) | (bytes[6] << 8) | bytes[7]))"
}
mkdir -p "$scratch/plot"
linear="$scratch/my_dir/sync_cam.linear.track"
hold="$scratch/my_dir/sync_cam.hold.track"
"$tool" plot "$linear" "$hold" -o "$scratch/plot/two.png" --size 640x360 --from -5 --to 1400 ||
  fail "plot of two tracks failed"
[ "$(png_size "$scratch/plot/two.png")" = "640x360" ] || fail "plot is not a 640x360 PNG"
"$tool" plot "$linear" -o "$scratch/plot/default.png" || fail "plot with the default size failed"
[ "$(png_size "$scratch/plot/default.png")" = "1200x600" ] || fail "the default plot is not 1200x600"
cp "$scratch/plot/two.png" "$scratch/plot/kept.png"
bad_plot() {  # DESCRIPTION ARGUMENTS...: fails with a message, leaves kept.png alone, writes nothing else
  local what=$1; shift
  local err status
  err=$("$tool" plot "$@" 2>&1 >/dev/null); status=$?
  if [ "$status" -eq 0 ] || [ "$status" -ge 126 ] || [ -z "$err" ]; then
    fail "plot with $what: status $status, stderr '$err'"
  fi
  cmp -s "$scratch/plot/kept.png" "$scratch/plot/two.png" || fail "plot with $what changed its output"
  [ "$(ls "$scratch/plot")" = "$(printf 'default.png\nkept.png\ntwo.png')" ] ||
    fail "plot with $what left files: $(ls "$scratch/plot")"
}
out="$scratch/plot/kept.png"
bad_plot "no FILE" -o "$out"
bad_plot "no -o" "$linear"
bad_plot "-o without a value" "$linear" -o
bad_plot "two -o" "$linear" -o "$out" -o "$scratch/plot/other.png"
bad_plot "a missing file" "$linear" "$scratch/none_x.track" -o "$out"
bad_plot "a file not named BASE_NAME.track" "$scratch/round.track" -o "$out"
bad_plot "an unknown option" "$linear" -o "$out" --colour red
for size in 100x100 320x199 8193x200 640 640x 0x0 -640x360 640x360x2 axb 640X360; do
  bad_plot "--size $size" "$linear" -o "$out" --size "$size"
done
for row in nan inf 1e10 abc ""; do
  bad_plot "--from '$row'" "$linear" -o "$out" --from "$row"
done
bad_plot "--from after --to" "$linear" -o "$out" --from 100 --to 50
bad_plot "--from equal to --to" "$linear" -o "$out" --from 100 --to 100
bad_plot "an output folder that is missing" "$linear" -o "$scratch/plot/no/such.png"
out=$("$tool" plot --help) || fail "'plot --help' failed"
[[ "$out" == Usage:* ]] || fail "'plot --help' prints no usage"
"$tool" --help | grep -q "plot FILE" || fail "the usage does not name plot"

# One command line: the version, help by command, standard streams.
version=$("$tool" --version) || fail "--version failed"
[[ "$version" == "zirbelon-tracks "[0-9]* ]] || fail "--version says '$version'"
[ "$("$tool" help build)" = "$("$tool" build --help)" ] || fail "'help build' differs from 'build --help'"
printf '0 3 hold\n' | "$tool" build - -o - >"$scratch/piped.track" || fail "build to standard output failed"
[ "$("$tool" dump "$scratch/piped.track")" = "0 3 0" ] || fail "the track written to standard output is wrong"
err=$("$tool" build "$scratch/canonical.txt" -o "$scratch" 2>&1) && fail "build onto a folder succeeded"
[[ "$err" == *directory* ]] || fail "build onto a folder said: $err"
"$tool" plot "$linear" -o - >"$scratch/piped.png" || fail "plot to standard output failed"
[ "$(png_size "$scratch/piped.png")" = "1200x600" ] || fail "the plot on standard output is not a 1200x600 PNG"

# Inputs that are not regular files are refused at once, never read or waited on.
mkfifo "$scratch/sync_fifo.track"
ln -s /dev/urandom "$scratch/sync_random.track"
mkdir "$scratch/sync_folder.track"
for input in fifo random folder; do
  for command in dump value plot; do
    args=("$scratch/sync_$input.track")
    [ "$command" = value ] && args+=(1)
    [ "$command" = plot ] && args+=(-o "$scratch/refused.png")
    err=$(timeout -k 2 10 "$tool" "$command" "${args[@]}" 2>&1 >/dev/null); status=$?
    { [ "$status" -eq 1 ] && [[ "$err" == *"not a track file"* ]]; } ||
      fail "$command of a $input: status $status, stderr '$err'"
  done
done
err=$(timeout -k 2 10 "$tool" build "$scratch/sync_fifo.track" -o "$scratch/x.track" 2>&1); status=$?
{ [ "$status" -eq 1 ] && [[ "$err" == *FIFO* ]]; } || fail "build from a FIFO: status $status, stderr '$err'"

# A symlinked output keeps its link, a file its mode, a device stays a device.
cp "$scratch/round.track" "$scratch/target.track"
chmod 600 "$scratch/target.track"
ln -s target.track "$scratch/link.track"
"$tool" build "$scratch/canonical.txt" -o "$scratch/link.track" || fail "build through a symlink"
[ -L "$scratch/link.track" ] || fail "the symlink was replaced"
[ "$(stat -c %a "$scratch/target.track")" = 600 ] || fail "the target's mode became $(stat -c %a "$scratch/target.track")"
if [ "$(id -u)" -eq 0 ]; then
  mknod "$scratch/null" c 1 3
  "$tool" build "$scratch/canonical.txt" -o "$scratch/null" || fail "build onto a null device"
  [ -c "$scratch/null" ] || fail "the device became a $(stat -c %F "$scratch/null")"

  # A full disk: every output, large ones (beyond stdio's buffer) above all,
  # fails with 1 and says so; none is lost in silence.
  mknod "$scratch/full" c 1 7
  awk 'BEGIN { for (i = 0; i < 200000; i++) print i, i * 0.25, "linear" }' >"$scratch/big.txt"
  "$tool" build "$scratch/big.txt" -o "$scratch/sync_big.track" || fail "build of a big track"
  rows=$(seq 0 3 30000)
  while IFS='|' read -r description command; do
    # shellcheck disable=SC2086 # the command's words
    err=$(timeout -k 2 60 "$tool" $command 2>&1 >"$scratch/full"); status=$?
    { [ "$status" -eq 1 ] && [[ "$err" == *"No space left on device"* || "$err" == *"cannot write to standard output"* ]]; } ||
      fail "$description onto a full device: status $status, stderr '$err'"
  done <<LIST
dump of 200000 keys|dump $scratch/sync_big.track
dump of one key|dump $scratch/round.track
value at 10001 rows|value $scratch/sync_big.track $(echo $rows)
help|--help
a command's help|plot --help
version|--version
build to standard output|build $scratch/big.txt -o -
LIST
  for command in "build $scratch/big.txt" "plot $scratch/sync_big.track"; do
    # shellcheck disable=SC2086
    err=$(timeout -k 2 60 "$tool" $command -o "$scratch/full" 2>&1); status=$?
    { [ "$status" -eq 1 ] && [[ "$err" == *"No space left on device"* ]]; } ||
      fail "$command -o a full device: status $status, stderr '$err'"
  done
  [ -c "$scratch/full" ] || fail "the full device became a $(stat -c %F "$scratch/full")"
fi

[ "$failures" -eq 0 ] && echo "zirbelon-tracks: all checks passed"
exit $((failures > 0))
