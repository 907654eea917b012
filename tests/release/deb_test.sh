#!/usr/bin/env bash
# The Debian package: CPack makes zirbelon_VERSION_ARCH.deb from the build;
# its control data names the package, version and architecture, and Depends
# (from dpkg-shlibdeps) covers every library its programs load; it holds
# exactly the install layout under /usr, owned by root. lintian finds no error
# or warning in it and its programs hardened as Debian's; its AppStream
# metainfo validates. It then installs,
# its programs' libraries all resolve, and it purges leaving no file behind.
#
# The installs happen in a throwaway tree: dpkg --instdir puts the files
# there, and --admindir a copy of this machine's package database, so
# dependencies are checked against what is really installed while the real
# system and its database stay untouched. (A mount namespace with overlays
# over /usr and /var/lib/dpkg would do the same for real paths, but needs
# root and overlayfs, and a mount that failed would write to the real system.)
# The package has no maintainer scripts, so dpkg never needs to chroot there;
# triggers (man-db's) are left pending in the copied database.
#   deb_test.sh BUILD WORKDIR
set -euo pipefail
build=$(realpath "$1")
work=$(realpath -m "$2")
here=$(dirname "$(realpath "$0")")
rm -rf "$work"
mkdir -p "$work"
cd "$work"
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

version=$(sed -n 's/^project(zirbelon VERSION \([0-9.]*\).*/\1/p' "$here/../../CMakeLists.txt")
arch=$(dpkg --print-architecture)
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/cpack" >cpack.log 2>&1 || {
  cat cpack.log >&2
  fail "cpack failed"
}
deb=$work/cpack/zirbelon_${version}_${arch}.deb
[ -f "$deb" ] || fail "no $(basename "$deb"): $(ls cpack)"

echo "== control data"
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = zirbelon ] || fail "Package is $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version is $(field Version), not $version"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture is $(field Architecture)"
depends=$(field Depends)
echo "Depends: $depends"
# The package names alone, one a line (versions and alternatives dropped).
depends_names=$(sed 's/ *([^)]*)//g; s/ *|[^,]*//g; s/, */\n/g' <<<"$depends")
for package in libc6 libsdl2-2.0-0 libmpg123-0 libasound2; do
  grep -qxF "$package" <<<"$depends_names" || fail "Depends lacks $package"
done

echo "== file list"
listing=$(dpkg-deb -c "$deb")
if awk '$2 != "root/root" { bad = 1 } END { exit !bad }' <<<"$listing"; then
  fail "files not owned by root: $(awk '$2 != "root/root"' <<<"$listing")"
fi
files=$(awk '$1 !~ /^d/ { print $6 }' <<<"$listing" | LC_ALL=C sort)
expected=$(LC_ALL=C sort <<EOT
./usr/bin/zirbelon
./usr/bin/zirbelon-render
./usr/bin/zirbelon-studio
./usr/bin/zirbelon-synth
./usr/bin/zirbelon-tracks
./usr/lib/zirbelon/sync_cam.dist.track
./usr/lib/zirbelon/sync_cam.rot.track
./usr/lib/zirbelon/sync_clear.b.track
./usr/lib/zirbelon/sync_clear.g.track
./usr/lib/zirbelon/sync_clear.r.track
./usr/lib/zirbelon/vaxo.mp3
./usr/lib/zirbelon/zirbelon
./usr/share/applications/zirbelon.desktop
./usr/share/doc/zirbelon/CHANGELOG.md
./usr/share/doc/zirbelon/changelog.gz
./usr/share/doc/zirbelon/copyright
./usr/share/icons/hicolor/256x256/apps/zirbelon.png
./usr/share/man/man1/zirbelon-render.1.gz
./usr/share/man/man1/zirbelon-studio.1.gz
./usr/share/man/man1/zirbelon-synth.1.gz
./usr/share/man/man1/zirbelon-tracks.1.gz
./usr/share/man/man6/zirbelon.6.gz
./usr/share/metainfo/org.example.zirbelon.metainfo.xml
./usr/share/zirbelon/shaders/landscape.glsl
./usr/share/zirbelon/shaders/title.glsl
./usr/share/zirbelon/tracks/cam.dist.txt
./usr/share/zirbelon/tracks/cam.rot.txt
./usr/share/zirbelon/tracks/clear.b.txt
./usr/share/zirbelon/tracks/clear.g.txt
./usr/share/zirbelon/tracks/clear.r.txt
EOT
)
[ "$files" = "$expected" ] ||
  fail "the package's files differ from the layout: $(diff <(echo "$expected") <(echo "$files") || true)"

echo "== Debian's checks"
# lintian: no error and no warning. Of its notes, none may say that a program
# lacks the hardening Debian builds its own with, keeps sections Debian strips,
# or that the desktop entry has no keywords.
lintian --fail-on none --display-info --no-tag-display-limit "$deb" >lintian.log 2>&1 ||
  fail "lintian did not run: $(cat lintian.log)"
cat lintian.log
! grep -q '^[EW]: ' lintian.log || fail "lintian reports errors or warnings"
! grep -qE '^I: .*(hardening-no-|binary-has-unneeded-section|desktop-entry-lacks-keywords)' lintian.log ||
  fail "lintian says the programs are not hardened or stripped as Debian's, or the entry lacks keywords"

echo "== AppStream"
unpacked=$work/unpacked
dpkg-deb -x "$deb" "$unpacked"
metainfo=$unpacked/usr/share/metainfo/org.example.zirbelon.metainfo.xml
appstreamcli validate --no-net --explain "$metainfo" || fail "the metainfo does not validate"
grep -qF "<release version=\"$version\"" "$metainfo" || fail "the metainfo lacks the release $version"
grep -q '<screenshot type="default">' "$metainfo" || fail "the metainfo shows no screenshot"
launchable=$(sed -n 's|.*<launchable type="desktop-id">\(.*\)</launchable>.*|\1|p' "$metainfo")
[ -f "$unpacked/usr/share/applications/$launchable" ] || fail "the metainfo launches $launchable, which is not there"

echo "== install into a throwaway tree"
root=$work/root
admin=$work/admin
mkdir "$root"
cp -a /var/lib/dpkg "$admin"
# dpkg wants ldconfig and start-stop-daemon on the PATH, which a user's may lack.
dpkg_here() { PATH=$PATH:/usr/sbin:/sbin dpkg --admindir="$admin" --instdir="$root" --no-triggers "$@"; }
dpkg_here -i "$deb" >install.log 2>&1 || {
  cat install.log >&2
  fail "the package does not install"
}
dpkg-query --admindir="$admin" -W -f='${Status}' zirbelon | grep -q "install ok installed" ||
  fail "dpkg does not record it as installed"
elves=0
loaded=()
while IFS= read -r -d '' file; do
  [ "$(head -c 4 "$file" | od -An -c | tr -d ' ')" = '177ELF' ] || continue
  elves=$((elves + 1))
  libraries=$(ldd "$file") || fail "ldd cannot read $file"
  ! grep -q "not found" <<<"$libraries" || fail "$file: $(grep "not found" <<<"$libraries")"
  # The libraries it names itself; theirs are their packages' business.
  for name in $(readelf -d "$file" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
    loaded+=("$(awk -v name="$name" '$1 == name && $2 == "=>" { print $3 }' <<<"$libraries")")
  done
done < <(find "$root" -type f -print0)
# Each library they name comes from a package that Depends names (or that
# every system has). The database knows a library by the path its package
# gave, which may be the merged /usr's other name for it.
for path in $(printf '%s\n' "${loaded[@]}" | sort -u); do
  owner=$(dpkg -S "$path" 2>/dev/null || dpkg -S "$(realpath "$path")" 2>/dev/null || true)
  owner=$(head -n 1 <<<"$owner" | cut -d: -f1)
  [ -n "$owner" ] || fail "the programs load $path, which no package owns"
  grep -qxF "$owner" <<<"$depends_names" || [ "$(dpkg-query -W -f='${Essential}' "$owner")" = yes ] ||
    fail "the programs load $path from $owner, which Depends does not name"
done
[ "$elves" -eq 5 ] || fail "$elves programs installed, 5 expected"
[ -x "$root/usr/bin/zirbelon" ] || fail "no launcher installed"

echo "== purge"
dpkg_here --purge zirbelon >purge.log 2>&1 || {
  cat purge.log >&2
  fail "the package does not purge"
}
left=$(find "$root" -mindepth 1 ! -type d)
[ -z "$left" ] || fail "files left after purging: $left"
dpkg-query --admindir="$admin" -W -f='${Status}' zirbelon 2>/dev/null | grep -q "install ok installed" &&
  fail "dpkg still records it as installed"
echo "deb: all passed ($(stat -c %s "$deb") bytes)"
