#!/usr/bin/env bash
# The Debian packages that scripts/package built with dpkg-buildpackage,
# checked the way the distribution checks them: lintian finds no error and no
# warning; the desktop entry and the AppStream metadata validate; the
# changelog's newest entry is this version and release date; then
# autopkgtest on this machine (the null testbed) installs the packages, runs
# debian/tests against the installed programs, and the packages are removed.
# Needs root.
# Usage: check_package.sh PACKAGE_DIR   (build-package: the .debs and the
#        source tree melvorin-VERSION they were built from)
set -uo pipefail
dir=${1:?usage: check_package.sh PACKAGE_DIR}
id=org.melvorin.Melvorin
version=$(cd "$dir" && ls -d melvorin-*/ | sed -n 's|^melvorin-\(.*\)/$|\1|p' | head -1)
src="$dir/melvorin-$version"
deb="$dir/melvorin_${version}_$(dpkg --print-architecture).deb"
[ -n "$version" ] && [ -f "$deb" ] || { echo "check_package: no package in $dir (scripts/package deb makes it)" >&2; exit 1; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# The packages, without the debugging symbols' (which no test installs).
debs=()
for d in "$dir"/*_"$version"_*.deb; do [[ "$d" == *-dbgsym_* ]] || debs+=("$d"); done
lint=$(lintian --fail-on error,warning --display-info "${debs[@]}" 2>&1) || fail "lintian reports errors or warnings"
grep -v '^running with root' <<<"$lint" || :

depends=$(dpkg-deb -f "$deb" Depends)
for lib in libc6 libqt6widgets6; do
  [[ "$depends" == *"$lib"* ]] || fail "Depends lacks $lib: $depends"
done
[[ "$(dpkg-deb -f "$deb" Recommends)" == *fonts-wqy-microhei* ]] || fail "the CJK font is not recommended"
[[ "$(dpkg-deb -f "$deb" Recommends)" == *ieee-data* ]] || fail "ieee-data (the makers' registries) is not recommended"

root="$tmp/root"
dpkg-deb -x "$deb" "$root"
desktop-file-validate "$root/usr/share/applications/$id.desktop" || fail "desktop-file-validate"
metainfo="$root/usr/share/metainfo/$id.metainfo.xml"
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate"
date=$(sed -n "s/.*<release version=\"$version\" date=\"\([0-9-]*\)\".*/\1/p" "$metainfo")
[ -n "$date" ] || fail "the metadata's release is not $version"
changelog_date=$(cd "$src" && date -u +%F -d "$(dpkg-parsechangelog -S Date)")
[ "$changelog_date" = "$date" ] || fail "debian/changelog is dated $changelog_date, the release $date"
for p in melvorin melvorin-cli melvorin-devsim; do
  [ -f "$root/usr/share/man/man1/$p.1.gz" ] || fail "no manual page for $p"
done
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/melvorin" --help 2>&1) ||
  fail "melvorin --help with no display exits $?: $out"
[[ "$out" == *--verbose* ]] || fail "melvorin --help does not list --verbose: $out"

# The installed packages, tested as Debian's CI tests them; then removed,
# whatever the tests said.
autopkgtest --quiet --output-dir "$tmp/autopkgtest" "${debs[@]}" "$src/" -- null ||
  { cat "$tmp/autopkgtest/log" >&2 2>/dev/null; fail "autopkgtest failed"; }
for p in melvorin-cli melvorin-devsim; do
  out=$("$p" --version 2>&1) || :
  [ "$out" = "$p $version" ] || fail "the installed $p --version prints '$out', not $version"
done
packages=()
for d in "${debs[@]}"; do packages+=("$(dpkg-deb -f "$d" Package)"); done
DEBIAN_FRONTEND=noninteractive apt-get purge -y -q "${packages[@]}" >/dev/null || fail "removing the packages failed"

[ "$failures" -eq 0 ] || exit 1
echo "package: $(basename -a "${debs[@]}" | tr '\n' ' ')checked, installed, tested and removed"
