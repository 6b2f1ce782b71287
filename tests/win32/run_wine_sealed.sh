#!/usr/bin/env bash
# The sealed join of melvorin-cli.exe under Wine: a station and a unit on a
# veth link (the unit 192.168.4.1 with hardware address 24:6f:28:00:00:01,
# learnt through GetIpNetTable2), the unit a Linux melvorin-devsim, the
# prefix's wineserver in the station's namespace.
#  - A wrong --code sends nothing, exit 2, and pins nothing.
#  - Against --sealed: accepted, "sealed": true; the unit opened a sealed
#    join (command 03) and saw no clear one; the unit's key is pinned in the
#    prefix's %LOCALAPPDATA%\melvorin\pins (pins list names the unit's label
#    code); nothing on stderr (no note of libgcrypt's entropy gatherer).
#    The right --code joins again, with a fresh ephemeral key.
#  - A unit at the pinned addresses without the seal: downgrade_refused;
#    after pins forget, --require-seal: not_sealed; exit 1, no join sent.
#
# Usage: run_wine_sealed.sh MELVORIN_CLI_EXE WINE_PREFIX LINUX_DEVSIM
# Exit: 0 passed, 1 failed, 77 skipped (namespaces cannot be made).
set -uo pipefail
exe=${1:?usage: run_wine_sealed.sh EXE PREFIX DEVSIM}
prefix=${2:?} devsim=${3:?}
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
wine_run="$here/../../scripts/wine-run"

. "$here/../support/kit.sh"
netns_preflight run_wine_sealed

st=mlv-ws-$$ u=mlv-wu-$$ link=mlvwu$$ mac=24:6f:28:00:00:01
key=Sealed-Secret-4711
pins="$prefix/drive_c/users/$(id -un)/AppData/Local/melvorin/pins"
work=$(mktemp -d /tmp/mlv-wsealed.XXXXXX)
cleanup() {
  devsim_stop
  bash "$wine_run" --stop "$prefix"
  rm -rf "${pins%/pins}"
  netns_remove "$st" "$u" -- "$link"
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

netns_add "$st" "$u" || exit
netns_veth "$link" "$u" "${link}p" 192.168.4.1 "$st" "$link" 192.168.4.2 &&
  ip -n "$u" link set "${link}p" address "$mac" || { echo "run_wine_sealed: the test hosts could not be made" >&2; exit 1; }
rm -rf "${pins%/pins}"
bash "$wine_run" --stop "$prefix"  # its wineserver starts again in the station

failed=0
in_station() { ip netns exec "$st" bash "$wine_run" "$prefix" "$exe" "$@"; }
join() { echo "$key" | in_station join --ssid HomeNet --key-file - --scan-timeout 1 --timeout 3 --json "$@"; }
joins() { grep -cE "request from 192.168.4.2:12345: ff 00 .. $2 " "$work/$1.log"; }
unit() { devsim_in "$u" "$work/$1.log" "$work/$1.out" "$devsim" --key "$key" --verbose "${@:2}"; }

unit sealed --sealed --unit-key "$work/unit.key" || exit 1
code_of_unit=$(label_code "$work/sealed.out")
[ -n "$code_of_unit" ] || fail "the sealed unit printed no label code"

out=$(join --device "$mac" --code AAAA-AAAA-AAAA-AAAA-AAAA-AAAA-AA 2>&1); rc=$?
[ "$rc" -eq 2 ] && grep -qF "$code_of_unit" <<<"$out" || fail "a wrong --code ($rc): $out"
[ "$(joins sealed 0[23])" -eq 0 ] || fail "a wrong --code sent a join"
[ ! -e "$pins" ] || fail "a wrong --code pinned"

out=$(join 2>"$work/err"); rc=$?
[ "$rc" -eq 0 ] && [ "$(json_get "$out" results/0/verdict)" = accepted ] &&
  [ "$(json_get "$out" results/0/sealed)" = true ] || fail "the sealed join ($rc): $out"
[ "$(joins sealed 03)" -ge 1 ] && [ "$(joins sealed 02)" -eq 0 ] ||
  fail "the unit opened no sealed join, or a clear one: $(cat "$work/sealed.log")"
[ ! -s "$work/err" ] || fail "the sealed join wrote to stderr: $(cat "$work/err")"
list=$(in_station pins list --json)
[ "$(json_get "$list" "pins/mac=$mac/label_code")" = "$code_of_unit" ] || fail "pins list: $list"
grep -qxE "$mac 04[0-9a-f]{128}" "$pins" && grep -qx "$mac $(json_get "$list" "pins/mac=$mac/key")" "$pins" ||
  fail "the unit's key is not pinned in $pins: $(cat "$pins" 2>&1)"

# The right --code joins too, its ephemeral key fresh (libgcrypt's random
# under Wine).
out=$(join --device "$mac" --code "${code_of_unit,,}"); rc=$?
[ "$rc" -eq 0 ] && [ "$(json_get "$out" results/0/sealed)" = true ] || fail "the right --code ($rc): $out"
encs=$(grep -oE "request from 192.168.4.2:12345: ff 00 .. 03 01( ..){81}" "$work/sealed.log" | cut -d' ' -f25-)
[ "$(sort -u <<<"$encs" | grep -c '^04 ')" -ge 2 ] || fail "the sealed joins' ephemeral keys are not fresh: $encs"

devsim_stop
unit plain || exit 1
out=$(join); rc=$?
[ "$rc" -eq 1 ] && [ "$(json_get "$out" results/0/verdict)" = downgrade_refused ] || fail "the impostor ($rc): $out"
in_station pins forget "$mac" || fail "pins forget exited with $?"
out=$(join --require-seal); rc=$?
[ "$rc" -eq 1 ] && [ "$(json_get "$out" results/0/verdict)" = not_sealed ] || fail "--require-seal ($rc): $out"
[ "$(joins plain 0[23])" -eq 0 ] || fail "a unit without the seal got a join"

if [ "$failed" -ne 0 ]; then
  for f in "$work"/*.log; do echo "--- $f ---"; cat "$f"; done
fi
exit "$failed"
