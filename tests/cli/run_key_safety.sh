#!/usr/bin/env bash
# Who receives the key. A tool host, a device and a second station on one
# bridge, each a network namespace; on the tool host a program of another
# user (uid 65534) is bound to 0.0.0.0:1902, as anyone may. A broadcast join
# would hand it the key: melvorin-cli sends nothing and says why (exit 1).
# With --unicast the device alone gets the request and its verdict is
# reported; neither the other user's program nor the second station gets it.
#
# Usage: run_key_safety.sh MELVORIN_CLI MELVORIN_DEVSIM
# Exit: 0 passed, 1 failed, 77 skipped (namespaces cannot be made).
set -uo pipefail
cli=${1:?usage: run_key_safety.sh MELVORIN_CLI MELVORIN_DEVSIM}
devsim=${2:?usage: run_key_safety.sh MELVORIN_CLI MELVORIN_DEVSIM}

. "$(dirname "${BASH_SOURCE[0]}")/../support/kit.sh"
netns_preflight run_key_safety
command -v setpriv >/dev/null || { echo "run_key_safety: needs setpriv; skipped" >&2; exit 77; }

tool=mlv-kt-$$ dev=mlv-kd-$$ other=mlv-ko-$$ br=mlvkb$$
lt=mlvkt$$ ld=mlvkd$$ lo=mlvko$$
work=$(mktemp -d /tmp/mlv-key.XXXXXX)
cleanup() {
  devsim_stop
  netns_remove "$tool" "$dev" "$other" -- "$lt" "$ld" "$lo" "$br"
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

netns_add "$tool" "$dev" "$other" || exit
ip link add "$br" type bridge && ip link set "$br" up || exit 1
netns_veth "$lt" "$tool" eth0 10.213.20.1 "" "" "" &&
  netns_veth "$ld" "$dev" eth0 10.213.20.2 "" "" "" &&
  netns_veth "$lo" "$other" eth0 10.213.20.3 "" "" "" || exit 1
for l in "$lt" "$ld" "$lo"; do ip link set "$l" master "$br" || exit 1; done

# Writes the hexadecimal of every datagram to 0.0.0.0:1902 to stdout.
listener='import socket, sys
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("0.0.0.0", 1902))
print("listening on port 1902", file=sys.stderr, flush=True)
while True:
    print(s.recv(4096).hex(), flush=True)'

devsim_start "$work/device.log" ip netns exec "$dev" "$devsim" --verbose &&
  devsim_start "$work/nobody.err" ip netns exec "$tool" setpriv --reuid 65534 --regid 65534 --clear-groups \
    /usr/bin/python3 -c "$listener" >"$work/nobody.out" &&
  devsim_start "$work/station.err" ip netns exec "$other" /usr/bin/python3 -c "$listener" >"$work/station.out" ||
  exit 1

failed=0
fail() { echo "run_key_safety: $*" >&2; failed=1; }
in_tool() { ip netns exec "$tool" "$cli" "$@"; }
joins_in() { grep -c '^ff00..0200' "$1"; }  # join requests (command 02) received
joins_at_device() { grep -c "request from 10.213.20.1:12345: ff 00 .. 02 00" "$work/device.log"; }

refused=$(echo 12345678 | in_tool join --ssid HomeNet --key-file - --scan-timeout 1 2>&1); code=$?
[ "$code" -eq 1 ] || fail "the broadcast join beside another user's program exited with $code: $refused"
for said in "nothing was sent" "nobody (uid 65534)" "UDP port 1902" "--unicast"; do
  grep -qF -- "$said" <<<"$refused" || fail "the refusal does not say \"$said\": $refused"
done
grep -q '^ff00010102$' "$work/nobody.out" || fail "the other user's program did not even get the scan: the check proves nothing"
[ "$(joins_in "$work/nobody.out")" -eq 0 ] || fail "the other user's program got a join request"
[ "$(joins_at_device)" -eq 0 ] || fail "the device got a join request although nothing was to be sent"

unicast=$(echo 12345678 | in_tool join --ssid HomeNet --key-file - --scan-timeout 1 --unicast --json); code=$?
[ "$code" -eq 0 ] || fail "the unicast join exited with $code: $unicast"
[ "$(json_get "$unicast" 'results/*/address')" = 10.213.20.2 ] && [ "$(json_get "$unicast" results/0/interface)" = eth0 ] &&
  [ "$(json_get "$unicast" results/0/verdict)" = accepted ] || fail "the unicast join: $unicast"
[ "$(joins_at_device)" -eq 1 ] || fail "the device did not get the unicast join request once"
grep -q "request from 10.213.20.1:12345: ff 00 .. 02 00 48 6f 6d 65 4e 65 74 0d 0a 31 32 33 34 35 36 37 38" \
  "$work/device.log" || fail "the device's join request is not HomeNet with the key"
grep -q '^ff00010102$' "$work/station.out" || fail "the second station did not even get the scan: the check proves nothing"
[ "$(joins_in "$work/station.out")" -eq 0 ] || fail "the second station got the unicast join request"
[ "$(joins_in "$work/nobody.out")" -eq 0 ] || fail "the other user's program got the unicast join request"

if [ "$failed" -ne 0 ]; then
  echo "--- device ---"; cat "$work/device.log"
  echo "--- other user ---"; cat "$work/nobody.out" "$work/nobody.err"
  echo "--- second station ---"; cat "$work/station.out"
fi
exit "$failed"
