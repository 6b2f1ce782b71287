#!/usr/bin/env bash
# Makes the Debian package of an already built tree with cpack into a
# temporary folder and checks it: lintian finds no error, the desktop entry
# and the AppStream metadata validate, and, unpacked, every program prints
# the version and the window's --help works with no display.
# Usage: check_package.sh BUILD_DIR VERSION PROGRAM...
set -uo pipefail
build="$1" version="$2"
shift 2
programs=("$@")
id=org.melvorin.Melvorin

tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

if ! cpack --config "$build/CPackConfig.cmake" -B "$tmp/out" >"$tmp/cpack.log" 2>&1; then
  cat "$tmp/cpack.log" >&2
  echo "FAIL: cpack" >&2
  exit 1
fi
deb="$tmp/out/melvorin_${version}_$(dpkg --print-architecture).deb"
if [ ! -f "$deb" ]; then
  ls "$tmp/out" >&2
  echo "FAIL: no $deb" >&2
  exit 1
fi

# Dependencies found from the binaries, the CJK font recommended.
depends="$(dpkg-deb -f "$deb" Depends)"
for lib in libc6 libqt6widgets6; do
  [[ "$depends" == *"$lib"* ]] || fail "Depends lacks $lib: $depends"
done
[[ "$(dpkg-deb -f "$deb" Recommends)" == *fonts-wqy-microhei* ]] || fail "the CJK font is not recommended"
[[ "$(dpkg-deb -f "$deb" Recommends)" == *ieee-data* ]] || fail "ieee-data (the makers' registries) is not recommended"

# Errors fail; warnings and notes are shown in the test's output.
lintian --fail-on error --display-info "$deb" 2>&1 | grep -v '^running with root' || fail "lintian reports errors"

root="$tmp/root"
dpkg-deb -x "$deb" "$root"
desktop-file-validate "$root/usr/share/applications/$id.desktop" || fail "desktop-file-validate"
metainfo="$root/usr/share/metainfo/$id.metainfo.xml"
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate"
grep -q "<release version=\"$version\"" "$metainfo" || fail "the metadata's release is not $version"
# The 48x48 icon: the width and height of its PNG header.
png="$root/usr/share/icons/hicolor/48x48/apps/$id.png"
size="$(od -An -tu1 -j16 -N8 "$png" 2>/dev/null | tr -s ' ')"
[ "$size" = " 0 0 0 48 0 0 0 48" ] || fail "$png is not 48x48 (header:$size)"

for p in "${programs[@]}"; do
  [ -f "$root/usr/share/man/man1/$p.1.gz" ] || fail "no manual page for $p"
  out="$(env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/$p" --version 2>&1)" || fail "$p --version exits $?"
  [[ "$out" == *"$version"* ]] || fail "$p --version prints \"$out\", not $version"
done
out="$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/melvorin" --help 2>&1)" ||
  fail "melvorin --help with no display exits $?: $out"
[[ "$out" == *--verbose* ]] || fail "melvorin --help does not list --verbose: $out"

[ "$failures" -eq 0 ] || exit 1
echo "package: $(basename "$deb") checked"
