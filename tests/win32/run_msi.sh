#!/usr/bin/env bash
# The MSI under Wine, as an administrator or a group policy pushes it: made by
# scripts/make-msi of this build, once as an older version and once as this
# one. The older one installed silently, then this one over it (one entry in
# the installed programs, this version's), the installed melvorin-cli.exe
# run, the Start-menu entries there, libgcrypt's DLLs with their licence (a
# program of this build seals with them); a folder asked for on the command
# line is not taken; msiexec /x removes every file, entry and registry value.
# Runs in the caller's private network namespace (wine-run).
#
# Usage: run_msi.sh BUILD_DIR WINE_PREFIX VERSION
set -uo pipefail
build=${1:?usage: run_msi.sh BUILD_DIR WINE_PREFIX VERSION}
prefix=${2:?} version=${3:?}
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
top="$here/../.."
work=$(mktemp -d /tmp/mlv-msi.XXXXXX)
trap 'rm -rf "$work"' EXIT

failed=0
fail() { echo "run_msi: $*" >&2; failed=1; }
win() { bash "$top/scripts/wine-run" "$prefix" "$@"; }
# The installed programs' entries named Melvorin, as "DisplayName|DisplayVersion".
entries() {
  win reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null | tr -d '\r' |
    awk '/^HKEY/ {name=""; ver=""} /DisplayName/ {sub(/.*REG_SZ +/, ""); name=$0}
         /DisplayVersion/ {sub(/.*REG_SZ +/, ""); ver=$0; if (name == "Melvorin") print name "|" ver}'
}

old="$work/melvorin-0.0.1-win64.msi" new="$work/melvorin-$version-win64.msi"
bash "$top/scripts/make-msi" "$build" "$old" 0.0.1 && bash "$top/scripts/make-msi" "$build" "$new" ||
  { fail "make-msi failed"; exit 1; }

dir="$prefix/drive_c/Program Files/Melvorin"
# The all-users Start menu on Windows; Wine 8's msiexec makes the
# shortcuts of a per-machine package in the installing user's own.
menus=("$prefix/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Melvorin"
       "$prefix/drive_c/users/$(id -un)/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Melvorin")
elsewhere='C:\users\Public\Melvorin'
win msiexec /i "$(win winepath -w "$old" | tr -d '\r')" /qn || fail "installing the older MSI exited with $?"
[ "$(entries)" = "Melvorin|0.0.1" ] || fail "after the older MSI, the installed programs hold: $(entries)"
win msiexec /i "$(win winepath -w "$new" | tr -d '\r')" /qn "melvorinfolder=$elsewhere" "MELVORINFOLDER=$elsewhere" "INSTALLDIR=$elsewhere" ||
  fail "installing this MSI over it exited with $?"
[ "$(entries)" = "Melvorin|$version" ] || fail "after the upgrade, the installed programs hold: $(entries)"
[ ! -e "$prefix/drive_c/users/Public/Melvorin" ] || fail "the MSI took a folder from its command line"

for f in melvorin.exe melvorin-cli.exe melvorin-cli.txt melvorin.ico oui.csv mam.csv oui36.csv iab.csv \
         libgcrypt-20.dll libgpg-error-0.dll libraries.txt; do
  [ -f "$dir/$f" ] || fail "not installed: $f"
done
# The installed libgcrypt DLLs seal: this build's seal_once.exe, put beside
# them for a moment, seals to RFC 9180's recipient key. Their licence is there.
cp "$build/tests/win32/seal_once.exe" "$dir/" || fail "no seal_once.exe in $build"
pkr=04fe8c19ce0905191ebc298a9245792531f26f0cece2460639e8bc39cb7f706a826a779b4cf969b8a0e539c7f62fb3d30ad6aa8f80e30f1d128aafd68a2ce72ea0
out=$(win 'C:\Program Files\Melvorin\seal_once.exe' "$pkr" "" "" 00 2>&1 | tr -d '\r')
rm -f "$dir/seal_once.exe"
[[ "$out" =~ ^04[0-9a-f]{128}$'\n' ]] || fail "seal_once.exe beside the installed DLLs printed: '$out'"
grep -q 'GNU LESSER GENERAL PUBLIC LICENSE' "$dir/libraries.txt" || fail "libraries.txt holds no LGPL"
out=$(win 'C:\Program Files\Melvorin\melvorin-cli.exe' --version | tr -d '\r')
[ "$out" = "melvorin-cli $version" ] || fail "installed melvorin-cli.exe --version: '$out'"
for link in Melvorin.lnk "Melvorin command line manual.lnk"; do
  [ -f "${menus[0]}/$link" ] || [ -f "${menus[1]}/$link" ] || fail "no Start-menu entry $link"
done

win msiexec /x "$(win winepath -w "$new" | tr -d '\r')" /qn || fail "removing it exited with $?"
[ ! -e "$dir" ] || fail "still there after removing: $(ls -A "$dir")"
[ ! -e "${menus[0]}" ] && [ ! -e "${menus[1]}" ] || fail "Start-menu entries still there after removing"
[ -z "$(entries)" ] || fail "the installed programs still hold: $(entries)"
! win reg query 'HKLM\Software\Melvorin' >/dev/null 2>&1 || fail "HKLM\\Software\\Melvorin is still there"
exit "$failed"
