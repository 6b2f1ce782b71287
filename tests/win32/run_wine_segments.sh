#!/usr/bin/env bash
# melvorin-cli.exe under Wine on a tool host with two segments and no default
# route (each segment a network namespace joined by a veth pair), a Linux
# melvorin-devsim on each: segment A two devices, segment B one that accepts
# only the key "my secret". The Windows program's scan equals the Linux
# program's, byte for byte but for "dropped", null where Windows cannot tell
# (under Wine an adapter's friendly name is the Linux interface's name);
# --interface keeps a scan on one segment; each
# join verdict gives its exit code; port 12345 taken gives the message and 1.
# The Wine prefix's wineserver runs in the tool host's namespace meanwhile.
#
# Usage: run_wine_segments.sh MELVORIN_CLI_EXE WINE_PREFIX LINUX_CLI LINUX_DEVSIM
# Exit: 0 passed, 1 failed, 77 skipped (namespaces cannot be made).
set -uo pipefail
exe=${1:?usage: run_wine_segments.sh EXE PREFIX LINUX_CLI DEVSIM}
prefix=${2:?} cli=${3:?} devsim=${4:?}
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
wine_run="$here/../../scripts/wine-run"

. "$here/../support/kit.sh"
netns_preflight run_wine_segments

tool=mlv-wt-$$ a=mlv-wa-$$ b=mlv-wb-$$
ifa=mlvwa$$ ifb=mlvwb$$
work=$(mktemp -d /tmp/mlv-wine.XXXXXX)
cleanup() {
  # The wineserver goes with the tool host; the next test starts its own.
  bash "$wine_run" --stop "$prefix"
  devsim_stop
  netns_remove "$tool" "$a" "$b" -- "$ifa" "$ifb"
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

netns_segments "$tool" "$a" "$b" "$ifa" "$ifb" 10.214.8 10.214.9
made=$?
[ "$made" -eq 0 ] || { echo "run_wine_segments: the test hosts could not be made" >&2; exit "$made"; }
for i in 10 11; do ip -n "$a" addr add "10.214.8.$i/24" dev "${ifa}p" || exit 1; done

devsim_start "$work/a.log" ip netns exec "$a" "$devsim" --devices 2 --first-address 10.214.8.10 || exit 1
devsim_start "$work/b.log" ip netns exec "$b" "$devsim" --verbose --key "my secret" || exit 1

failed=0
fail() { echo "run_wine_segments: $*" >&2; failed=1; }
# The wineserver of the prefix moves into the tool host (wine-run refuses
# while one runs in another namespace).
bash "$wine_run" --stop "$prefix"
win() { ip netns exec "$tool" bash "$wine_run" "$prefix" "$exe" "$@"; }
linux() { ip netns exec "$tool" "$cli" "$@"; }
# The Linux program's JSON as Windows writes it: "dropped" is null there.
linux_json() { linux "$@" --json | sed 's/, "dropped": 0}$/, "dropped": null}/'; }
scans_on_b() { grep -c "request from 10.214.9.1:12345: ff 00 01 01 02" "$work/b.log"; }

scan=$(win scan --json --timeout 1.5); code=$?
[ "$code" -eq 0 ] || fail "scan exited with $code"
for d in 10.214.8.10 10.214.8.11; do
  [ "$(json_get "$scan" "devices/address=$d/interface")" = "$ifa" ] &&
    [ "$(json_get "$scan" "devices/address=$d/networks/0/ssid")" = HomeNet ] ||
    fail "scan: device $d on $ifa missing"
done
[ "$(json_get "$scan" devices/address=10.214.9.2/interface)" = "$ifb" ] || fail "scan: device on $ifb missing"
expected=$(linux_json scan --timeout 1.5)
[ "$scan" = "$expected" ] || fail "scan differs from the Linux program's: $expected"

before=$(scans_on_b)
only_a=$(win scan --json --timeout 1 --interface "$ifa"); code=$?
[ "$code" -eq 0 ] || fail "scan on $ifa exited with $code"
[ "$(json_get "$only_a" 'devices/*/interface' | paste -sd' ')" = "$ifa $ifa" ] || fail "scan on $ifa: $only_a"
[ "$(scans_on_b)" -eq "$before" ] || fail "the scan on $ifa reached segment B"

# Each verdict's exit code: accepted 0, key_format 4, ssid_not_found 10,
# no_result 3; the Linux program agrees on the mixed one.
verdict() {  # EXPECTED_CODE WORD ARGS...
  local want=$1 word=$2 out code
  shift 2
  out=$(echo 12345678 | win join --key-file - --json --scan-timeout 1 --timeout 2 "$@"); code=$?
  [ "$code" -eq "$want" ] || fail "join $* exited with $code, not $want: $out"
  json_get "$out" "results/verdict=$word" >/dev/null || fail "join $*: no $word in $out"
}
verdict 0 accepted --ssid 办公室WiFi --device 10.214.8.11
verdict 4 key_format --ssid HomeNet --device 10.214.9.2
verdict 10 ssid_not_found --ssid-hex 4e6f5375636857696669 --device 10.214.8.10
verdict 3 no_result --ssid-hex 486f6d654e6574 --device 10.214.8.99
mixed=$(echo 12345678 | win join --ssid HomeNet --key-file - --json --scan-timeout 1); code=$?
[ "$code" -eq 4 ] || fail "join to every device exited with $code: $mixed"
linux_mixed=$(echo 12345678 | linux_json join --ssid HomeNet --key-file - --scan-timeout 1)
[ "$mixed" = "$linux_mixed" ] || fail "join differs from the Linux program's: $mixed / $linux_mixed"

linux scan --timeout 4 >/dev/null 2>&1 &
holder=$!
sleep 0.5
taken=$(win scan --timeout 1 2>&1 >/dev/null); code=$?
[ "$code" -eq 1 ] || fail "scan with port 12345 taken exited with $code"
grep -qF "melvorin-cli: cannot receive on local UDP port 12345: it is in use" <<<"$taken" ||
  fail "port 12345 taken: $taken"
wait "$holder"

if [ "$failed" -ne 0 ]; then
  echo "--- scan ---"; echo "$scan"; echo "--- segment B's device ---"; cat "$work/b.log"
fi
exit "$failed"
