#!/usr/bin/env bash
# melvorin-cli on a host with two segments, each a network namespace joined
# to the tool's by a veth pair, with no default route: segment A holds three
# devices (one melvorin-devsim, three addresses), segment B one more. The scan
# finds all four with the interface each answered on; a join addressed to one
# device of A stays off segment B; a join to every device reaches both.
#
# Usage: run_segments.sh MELVORIN_CLI MELVORIN_DEVSIM
# Exit: 0 passed, 1 failed, 77 skipped (namespaces cannot be made).
set -uo pipefail
cli=${1:?usage: run_segments.sh MELVORIN_CLI MELVORIN_DEVSIM}
devsim=${2:?usage: run_segments.sh MELVORIN_CLI MELVORIN_DEVSIM}

. "$(dirname "${BASH_SOURCE[0]}")/../support/kit.sh"
netns_preflight run_segments

tool=mlv-ct-$$ a=mlv-ca-$$ b=mlv-cb-$$
ifa=mlvca$$ ifb=mlvcb$$
work=$(mktemp -d /tmp/mlv-cli.XXXXXX)
cleanup() {
  devsim_stop
  netns_remove "$tool" "$a" "$b" -- "$ifa" "$ifb"
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

netns_segments "$tool" "$a" "$b" "$ifa" "$ifb" 10.213.8 10.213.9
made=$?
[ "$made" -eq 0 ] || { echo "run_segments: the test hosts could not be made" >&2; exit "$made"; }
for i in 10 11 12; do ip -n "$a" addr add "10.213.8.$i/24" dev "${ifa}p" || exit 1; done

devsim_start "$work/a.log" ip netns exec "$a" "$devsim" --devices 3 --first-address 10.213.8.10 || exit 1
devsim_start "$work/b.log" ip netns exec "$b" "$devsim" --verbose || exit 1

failed=0
fail() { echo "run_segments: $*" >&2; failed=1; }
in_tool() { ip netns exec "$tool" "$cli" "$@"; }

scan=$(in_tool scan --json --timeout 1.5); code=$?
[ "$code" -eq 0 ] || fail "scan exited with $code"
for d in 10.213.8.10 10.213.8.11 10.213.8.12; do
  [ "$(json_get "$scan" "devices/address=$d/interface")" = "$ifa" ] &&
    [ "$(json_get "$scan" "devices/address=$d/networks/0/ssid")" = HomeNet ] ||
    fail "scan: device $d on $ifa missing"
done
[ "$(json_get "$scan" devices/address=10.213.9.2/interface)" = "$ifb" ] || fail "scan: device on $ifb missing"
[ "$(json_get "$scan" 'devices/*' | wc -l)" -eq 4 ] || fail "scan: not four devices"

one=$(echo 12345678 | in_tool join --ssid HomeNet --device 10.213.8.11 --key-file - --json); code=$?
[ "$code" -eq 0 ] || fail "join to one device exited with $code"
[ "$(json_get "$one" 'results/*/address' | paste -sd' ')" = 10.213.8.11 ] &&
  [ "$(json_get "$one" results/0/interface) $(json_get "$one" results/0/verdict)" = "$ifa accepted" ] ||
  fail "join to one device: $one"
join_on_b() { grep -c "request from 10.213.9.1:12345: ff 00 13 02 00" "$work/b.log"; }
[ "$(join_on_b)" -eq 0 ] || fail "the join addressed to 10.213.8.11 reached segment B"

all=$(echo 12345678 | in_tool join --ssid HomeNet --key-file - --json --scan-timeout 1); code=$?
[ "$code" -eq 0 ] || fail "join to every device exited with $code"
[ "$(json_get "$all" results/verdict=accepted | wc -l)" -eq 4 ] || fail "join to every device: $all"
[ "$(join_on_b)" -eq 1 ] || fail "the join to every device did not reach segment B once"

if [ "$failed" -ne 0 ]; then
  echo "--- scan ---"; echo "$scan"; echo "--- segment B's device ---"; cat "$work/b.log"
fi
exit "$failed"
