#!/usr/bin/env bash
# The Windows installer under Wine, as a user would run it silently: made by
# CPack from the build tree, installed with /S into its default folder, the
# installed melvorin-cli.exe run, the Start-menu entries and the entry in the
# list of installed programs there; then the uninstaller run with /S removes
# all of it. Runs in the caller's private network namespace (wine-run).
#
# Usage: run_installer.sh CPACK BUILD_DIR WINE_PREFIX VERSION
set -uo pipefail
cpack=${1:?usage: run_installer.sh CPACK BUILD_DIR WINE_PREFIX VERSION}
build=${2:?} prefix=${3:?} version=${4:?}
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
wine_run="$here/../../scripts/wine-run"
work=$(mktemp -d /tmp/mlv-installer.XXXXXX)
trap 'rm -rf "$work"' EXIT

failed=0
fail() { echo "run_installer: $*" >&2; failed=1; }
win() { bash "$wine_run" "$prefix" "$@"; }
# Waits up to 30 s for a command to succeed.
within_30s() {
  for _ in $(seq 300); do "$@" && return 0; sleep 0.1; done
  return 1
}
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Melvorin'

installer="$work/melvorin-$version-win64.exe"
"$cpack" --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; fail "cpack failed"; exit 1; }
[ -f "$installer" ] || { fail "cpack made no $installer"; exit 1; }

dir="$prefix/drive_c/Program Files/Melvorin"
menu="$prefix/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Melvorin"
win "$installer" /S || fail "the installer exited with $?"
for f in melvorin.exe melvorin-cli.exe melvorin-cli.txt melvorin.ico oui.csv mam.csv oui36.csv iab.csv Uninstall.exe; do
  [ -f "$dir/$f" ] || fail "not installed: $f"
done
out=$(win 'C:\Program Files\Melvorin\melvorin-cli.exe' --version | tr -d '\r')
[ "$out" = "melvorin-cli $version" ] || fail "installed melvorin-cli.exe --version: '$out'"
for link in Melvorin.lnk "Melvorin command line manual.lnk" Uninstall.lnk; do
  [ -f "$menu/$link" ] || fail "no Start-menu entry $link"
done
entry=$(win reg query "$uninstall_key" | tr -d '\r')
for value in "DisplayName    REG_SZ    Melvorin $version" "DisplayVersion    REG_SZ    $version" \
             'DisplayIcon    REG_SZ    C:\Program Files\Melvorin\melvorin.ico' \
             'UninstallString    REG_SZ    "C:\Program Files\Melvorin\Uninstall.exe"'; do
  grep -qF "$value" <<<"$entry" || fail "installed programs' entry lacks '$value': $entry"
done

# The uninstaller copies itself away and returns at once: wait for its work.
win 'C:\Program Files\Melvorin\Uninstall.exe' /S || fail "the uninstaller exited with $?"
within_30s test ! -e "$dir" || fail "still there after uninstalling: $(ls -A "$dir")"
within_30s test ! -e "$menu" || fail "Start-menu entries still there after uninstalling"
within_30s eval '! win reg query "$uninstall_key" >/dev/null 2>&1' ||
  fail "the installed programs' entry is still there after uninstalling"
exit "$failed"
