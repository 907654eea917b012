#!/usr/bin/env bash
# scripts/setup installs what each job needs and no more: with apt-get and
# dpkg-query replaced by stand-ins that report nothing installed and record
# what would be installed, the run job asks for the compiler, CMake, SDL2,
# mpg123 and GL but for none of the test tools (Wine, clang, Xorg's dummy
# driver, Xvfb, PulseAudio, ffmpeg, GoogleTest, Google Benchmark), and the tree
# configures without the test libraries, leaving the tests out; the default
# job is the test job and holds the run and release jobs; an unknown job is
# refused; scripts/run sets up the run job only.
#   setup_jobs_test.sh WORKDIR
set -euo pipefail
top=$(realpath "$(dirname "$(realpath "$0")")/../..")
work=$(realpath -m "$1")
rm -rf "$work"
mkdir -p "$work/bin"
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

cat >"$work/bin/dpkg-query" <<'EOT'
#!/bin/sh
exit 1
EOT
cat >"$work/bin/apt-get" <<EOT
#!/bin/sh
[ "\$1" = install ] && shift 4 && printf '%s\n' "\$@" >>"$work/installed"
exit 0
EOT
# Root or not, the stand-in is what runs.
cp "$work/bin/apt-get" "$work/bin/sudo"
sed -i 's|^\[ "\$1" = install \]|shift; [ "$1" = install ]|' "$work/bin/sudo"
chmod +x "$work/bin/"*

packages_of() {
  rm -f "$work/installed"
  PATH=$work/bin:$PATH "$top/scripts/setup" "$@" 2>/dev/null
  LC_ALL=C sort -u "$work/installed"
}

run=$(packages_of run)
for package in build-essential cmake libsdl2-dev libmpg123-dev libgl-dev libegl-dev libgl1-mesa-dri; do
  grep -qx "$package" <<<"$run" || fail "the run job lacks $package"
done
for package in wine wine64 clang g++-mingw-w64-x86-64-posix xserver-xorg-video-dummy xvfb pulseaudio ffmpeg sox lame \
  libgtest-dev libgmock-dev libbenchmark-dev; do
  ! grep -qx "$package" <<<"$run" || fail "the run job installs $package"
done
cmake -S "$top" -B "$work/configured" -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON \
  >/dev/null || fail "the tree does not configure without GoogleTest and Google Benchmark"
grep -qx 'ZIRBELON_TESTS:BOOL=OFF' "$work/configured/CMakeCache.txt" ||
  fail "without GoogleTest and Google Benchmark the tests are still configured"

test=$(packages_of test)
[ "$(packages_of)" = "$test" ] || fail "with no job it does not install the test job's packages"
release=$(packages_of release)
for package in zip help2man dpkg-dev g++-mingw-w64-x86-64-posix wine; do
  grep -qx "$package" <<<"$release" || fail "the release job lacks $package"
done
extra=$(LC_ALL=C comm -23 <(printf '%s\n%s\n' "$run" "$release" | LC_ALL=C sort -u) <(echo "$test"))
[ -z "$extra" ] || fail "the test job lacks what run or release install: $extra"

status=0
PATH=$work/bin:$PATH "$top/scripts/setup" everything 2>/dev/null || status=$?
[ "$status" -eq 2 ] || fail "an unknown job gave status $status, not 2"

grep -qx 'scripts/setup run' "$top/scripts/run" || fail "scripts/run does not set up the run job"
echo "setup jobs: run $(wc -l <<<"$run"), release $(wc -l <<<"$release"), test $(wc -l <<<"$test") packages; all passed"
