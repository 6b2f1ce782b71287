#!/usr/bin/env bash
# melvorin-cli.exe under Wine on a bench of devices that all answer each
# request at once (a Linux melvorin-devsim on loopback): of 200 devices the
# scan reports every one and the join 200 accepted; over a link that loses
# one reply in twenty (100 devices), no device that accepted is reported as
# no_result. What the system dropped Windows cannot tell: "dropped" is null.
# Runs in the current network namespace, which must be private (CTest's,
# made by scripts/in-netns), with the prefix's wineserver in it.
#
# Usage: run_wine_bench.sh MELVORIN_CLI_EXE WINE_PREFIX LINUX_DEVSIM
# Exit: 0 passed, 1 failed.
set -uo pipefail
exe=${1:?usage: run_wine_bench.sh EXE PREFIX DEVSIM}
prefix=${2:?} devsim=${3:?}
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
wine_run="$here/../../scripts/wine-run"

. "$here/../support/kit.sh"
netns_private run_wine_bench

work=$(mktemp -d /tmp/mlv-wbench.XXXXXX)
trap 'devsim_stop; rm -rf "$work"' EXIT
trap 'exit 130' INT TERM

failed=0
fail() { echo "run_wine_bench: $*" >&2; failed=1; }
count() { json_get "$2" "$1" | wc -l; }
devices() { devsim_start "$work/devices.log" "$devsim" "$@" || fail "the devices did not start"; }
join() { echo 12345678 | bash "$wine_run" "$prefix" "$exe" join --ssid HomeNet --key-file - --json "$@"; }

devices --devices 200
scan=$(bash "$wine_run" "$prefix" "$exe" scan --json --timeout 3); code=$?
[ "$code" -eq 0 ] || fail "scan exited with $code"
[ "$(count 'devices/*' "$scan")" -eq 200 ] || fail "scan reported $(count 'devices/*' "$scan") of 200 devices"
[ "$(json_get "$scan" dropped)" = null ] || fail "scan: no \"dropped\": null"
out=$(join --timeout 3); code=$?
[ "$code" -eq 0 ] || fail "join of 200 exited with $code"
accepted='results/verdict=accepted'
[ "$(count "$accepted" "$out")" -eq 200 ] || fail "join: $(count "$accepted" "$out") of 200 accepted"
devsim_stop

devices --devices 100 --loss 0.05 --seed 25
out=$(join); code=$?
[ "$code" -eq 0 ] || fail "join over a lossy link exited with $code"
[ "$(count results/verdict=no_result "$out")" -eq 0 ] ||
  fail "join over a lossy link: $(count results/verdict=no_result "$out") no_result"
# Those that answered no scan round were never addressed.
[ "$(count "$accepted" "$out")" -ge 95 ] || fail "join over a lossy link: $out"
devsim_stop
exit "$failed"
