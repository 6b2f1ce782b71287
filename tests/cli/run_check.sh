#!/usr/bin/env bash
# melvorin-cli check against melvorin-devsim on loopback: a sound device
# passes every case (and receives no join request it could act on), each
# --fault of the device fails exactly its case, and the unit to check must be
# one. Run inside a private network namespace (scripts/in-netns).
#
# With a Wine prefix, MELVORIN_CLI is melvorin-cli.exe, run under Wine with
# the prefix's wineserver in this namespace.
#
# Usage: run_check.sh MELVORIN_CLI MELVORIN_DEVSIM DEVSIM_MANUAL [WINE_PREFIX]
set -uo pipefail
usage="usage: run_check.sh MELVORIN_CLI MELVORIN_DEVSIM DEVSIM_MANUAL [WINE_PREFIX]"
cli=${1:?$usage}
devsim=${2:?$usage}
manual=${3:?$usage}
prefix=${4:-}
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
wine_run="$here/../../scripts/wine-run"
. "$here/../support/kit.sh"
netns_private run_check

work=$(mktemp -d /tmp/mlv-check.XXXXXX)
trap 'devsim_stop; [ -z "$prefix" ] || bash "$wine_run" --stop "$prefix"; rm -rf "$work"' EXIT
check() { "$cli" check "$@"; }
if [ -n "$prefix" ]; then
  bash "$wine_run" --stop "$prefix"  # its wineserver starts again here
  check() { bash "$wine_run" "$prefix" "$cli" check "$@"; }
fi
trap 'exit 130' INT TERM
failed=0
fail() { echo "run_check: $*" >&2; failed=1; }
fast=(--timeout 0.3 --scan-timeout 0.5)
[ -z "$prefix" ] || fast=(--timeout 0.6 --scan-timeout 1.5)  # Wine starts slowly
# (networks: HomeNet 48 6f 6d 65 4e 65 74, Lab 4c 61 62)
nets=(--network HomeNet:80 --network Lab:40)
# (the log made first: devsim_start may look into it before the device writes)
start() { : >"$1" && devsim_start "$@"; }

# The failed cases of a check's JSON, sorted, on one line.
failed_cases() { json_get "$1" 'cases/result=fail/name' 2>/dev/null | sort | tr '\n' ' '; }
# The SSID and key of each join request a device logged, "SSID KEY" in hex.
join_requests() {
  sed -n 's/.*request from [0-9.:]*: ff 00 .. 02 00 \(.*\) 0d 0a \(.*\) ..$/\1 | \2/p' "$1"
}

# A sound device, the key case sent for HomeNet: every case passes or is the
# device's policy, and the bytes seen are the device's own.
start "$work/sound.log" "$devsim" --verbose --show-secrets "${nets[@]}" || exit 1
out=$(check --json --secured HomeNet "${fast[@]}")
code=$?
[ "$code" -eq 0 ] || fail "sound device: exit code $code, not 0: $out"
[ "$(json_get "$out" 'cases/result=fail/name' 2>/dev/null)" = "" ] || fail "sound device: cases failed: $out"
[ "$(json_get "$out" 'cases/*/name' | wc -l)" -eq 10 ] || fail "sound device: not 10 cases: $out"
[ "$(json_get "$out" 'cases/result=policy/name')" = wrong-length ] || fail "sound device: policy cases: $out"
json_get "$out" 'cases/name=join-bad-key/detail' | grep -q 'key_format (SSID 01, key 00)' ||
  fail "sound device: the key case's verdict is not told: $out"
json_get "$out" 'cases/name=join-unlisted-ssid/detail' | grep -q 'key_format (SSID 00, key 00)' ||
  fail "sound device: the unlisted case's verdict is not told: $out"
reply=$(grep -m1 -o 'reply to 127.0.0.1:12345: ff 00 .. 81 .*' "$work/sound.log" | sed 's/.*: //; s/ //g')
[ -n "$reply" ] && [ "$(json_get "$out" 'cases/name=list-reply/bytes/0')" = "$reply" ] ||
  fail "sound device: the list reply seen is not the one sent ($reply): $out"
# The key case is the one request for a listed network, with the 7-byte key.
requests=$(join_requests "$work/sound.log")
[ "$(grep -c . <<<"$requests")" -eq 3 ] || fail "sound device: not 3 join requests: $requests"
grep -qx '48 6f 6d 65 4e 65 74 | 6e 6f 2d 6b 65 79 01' <<<"$requests" ||
  fail "sound device: no bad-key request for HomeNet: $requests"
devsim_stop

# Without --secured: the key case is skipped, and no join request names a
# listed network.
start "$work/plain.log" "$devsim" --verbose --show-secrets "${nets[@]}" || exit 1
table=$(check "${fast[@]}")
code=$?
[ "$code" -eq 0 ] || fail "without --secured: exit code $code, not 0: $table"
grep -q '^skipped join-bad-key ' <<<"$table" || fail "without --secured: the key case is not skipped: $table"
grep -qx "10 cases: 8 passed, 0 failed, 1 the unit's policy, 1 skipped" <<<"$table" ||
  fail "without --secured: no summary: $table"
requests=$(join_requests "$work/plain.log")
[ "$(grep -c . <<<"$requests")" -eq 2 ] || fail "without --secured: not 2 join requests: $requests"
if grep -e '^48 6f 6d 65 4e 65 74 |' -e '^4c 61 62 |' <<<"$requests"; then
  fail "without --secured: a join request named a listed network"
fi
devsim_stop

# Each fault fails its cases and no other; every fault --help names is here
# and in the manual.
declare -A expected=(
  [list-checksum]="list-reply "
  [list-count]="list-records "
  [answers-bad-lead]="ignores-bad-lead "
  [short-buffer]="join-length-255 "
  [no-join-reply]="join-bad-key join-length-255 join-unlisted-ssid "
)
faults=$("$devsim" --help | sed -n 's/^ \{24\}\([a-z-]\+\)  .*/\1/p')
[ "$(sort <<<"$faults" | tr '\n' ' ')" = "$(printf '%s\n' "${!expected[@]}" | sort | tr '\n' ' ')" ] ||
  fail "the faults of --help ($faults) are not the faults tested (${!expected[*]})"
# (under Wine, where each run costs more, two faults: the code is shared)
[ -z "$prefix" ] || faults="list-checksum no-join-reply"
for fault in $faults; do
  grep -q "^	\*$fault\*: " "$manual" || fail "the manual does not tell of --fault $fault"
  start "$work/$fault.log" "$devsim" "${nets[@]}" --fault "$fault" || exit 1
  out=$(check --json --device 127.0.0.1 --secured HomeNet "${fast[@]}")
  code=$?
  [ "$code" -eq 1 ] || fail "--fault $fault: exit code $code, not 1"
  [ "$(failed_cases "$out")" = "${expected[$fault]:-?}" ] ||
    fail "--fault $fault: failed [$(failed_cases "$out")], not [${expected[$fault]:-?}]: $out"
  devsim_stop
done

# The unit must be one: two that answer are refused, none gives 3.
start "$work/two.log" "$devsim" --verbose --show-secrets --devices 2 || exit 1
check "${fast[@]}" >/dev/null 2>"$work/two.err"
code=$?
[ "$code" -eq 2 ] && grep -q '2 devices answered the scan: 127.0.1.1 on lo; 127.0.1.2 on lo' "$work/two.err" ||
  fail "two devices: exit code $code, not 2: $(cat "$work/two.err")"
grep -q "request from .* 02 00" "$work/two.log" && fail "two devices: a join request was sent"
devsim_stop
check "${fast[@]}" >/dev/null 2>&1
code=$?
[ "$code" -eq 3 ] || fail "no device: exit code $code, not 3"

[ "$failed" -eq 0 ] && echo "run_check: passed"
exit "$failed"
