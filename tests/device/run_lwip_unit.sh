#!/usr/bin/env bash
# The example firmware on lwIP (tools/lwip_unit) as a unit of its own: lwIP's
# stack on a tap interface, bridged with a veth link to the station's
# namespace, where melvorin-cli scans it, joins it with a key, is refused a
# key no WPA2 network takes, and the unit still answers after that; then a
# join addressed to the unit alone (--device); the conformance check; and,
# given the window, the window under Xvfb lists the unit's networks and joins
# the first from the keyboard.
#
# Usage: run_lwip_unit.sh MELVORIN_CLI LWIP_UNIT [MELVORIN]
# Exit: 0 passed, 1 failed, 77 skipped (namespaces or a tap cannot be made).
set -uo pipefail
cli=${1:?usage: run_lwip_unit.sh MELVORIN_CLI LWIP_UNIT}
unit=${2:?usage: run_lwip_unit.sh MELVORIN_CLI LWIP_UNIT}
window=${3:-}
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
. "$here/../support/kit.sh"
netns_preflight run_lwip_unit

st=mlv-ls-$$ un=mlv-lu-$$ link=mlvlw$$
work=$(mktemp -d /tmp/mlv-lwip.XXXXXX)
xvfb=
cleanup() {
  [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null
  devsim_stop
  netns_remove "$st" "$un" -- "$link"
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

for ns in "$st" "$un"; do
  ip netns add "$ns" || { echo "run_lwip_unit: ip netns add failed; skipped" >&2; exit 77; }
done
# The unit's namespace: tap0 (lwIP's wire) and the veth end on bridge br0.
# The Linux side of it holds no address: only lwIP answers there.
ip -n "$un" tuntap add dev tap0 mode tap || { echo "run_lwip_unit: no tap device; skipped" >&2; exit 77; }
netns_veth "$link" "$un" uplink "" "$st" station 192.168.4.2 &&
  ip -n "$un" link add br0 type bridge &&
  ip -n "$un" link set tap0 master br0 && ip -n "$un" link set uplink master br0 &&
  ip -n "$un" link set tap0 up && ip -n "$un" link set br0 up ||
  { echo "run_lwip_unit: the link could not be made" >&2; exit 1; }

devsim_start "$work/unit.log" ip netns exec "$un" env PRECONFIGURED_TAPIF=tap0 "$unit" --address 192.168.4.1 \
  --network HomeNet:80 --network Cafe:35:open || exit 1

fail() {
  echo "run_lwip_unit: $*" >&2
  echo "--- the unit's log:" >&2
  cat "$work/unit.log" >&2
  exit 1
}
run_cli() { ip netns exec "$st" "$cli" "$@"; }

scan=$(run_cli scan --json --timeout 2) || fail "scan: exit $?: $scan"
[ "$(json_get "$scan" 'devices/address=192.168.4.1/networks/ssid=HomeNet/strength')" = 80 ] &&
  [ "$(json_get "$scan" 'devices/address=192.168.4.1/networks/ssid=Cafe/strength')" = 35 ] ||
  fail "scan did not list the unit's two networks: $scan"

join=$(echo 'correct horse' | run_cli join --ssid HomeNet --key-file - --json --scan-timeout 2 --timeout 5) ||
  fail "join: exit $?: $join"
[ "$(json_get "$join" 'results/address=192.168.4.1/verdict')" = accepted ] || fail "join not accepted: $join"
grep -q 'joining "HomeNet" with a key of 13 bytes' "$work/unit.log" || fail "the unit did not join"

code=0
join=$(echo 'short' | run_cli join --ssid HomeNet --key-file - --json --scan-timeout 2 --timeout 5) || code=$?
[ "$code" -eq 4 ] && [ "$(json_get "$join" 'results/address=192.168.4.1/verdict')" = key_format ] ||
  fail "a 5-character key was not refused (exit $code): $join"

# Still answering, and reached alone by its address.
join=$(echo 'x' | run_cli join --ssid Cafe --device 192.168.4.1 --key-file - --json --scan-timeout 2 --timeout 5) ||
  fail "join of the open network: exit $?: $join"
[ "$(json_get "$join" 'results/address=192.168.4.1/verdict')" = accepted ] || fail "open network not joined: $join"
[ "$(grep -c 'lwip-unit: joining' "$work/unit.log")" -eq 2 ] || fail "the unit joined other than twice"

# The conformance check passes the library on lwIP, and joins it to nothing.
check=$(run_cli check --device 192.168.4.1 --secured HomeNet --json --scan-timeout 2) || fail "check: exit $?: $check"
[ "$(json_get "$check" 'cases/result=fail/name' 2>/dev/null)" = "" ] || fail "check failed cases: $check"
[ "$(grep -c 'lwip-unit: joining' "$work/unit.log")" -eq 2 ] || fail "the check made the unit join"

# The window lists the unit's networks; Tab Tab Down Return joins the row
# the keyboard lands on with the key box's sample key (8 bytes).
if [ -n "$window" ]; then
  export DISPLAY=:$((100 + $$ % 100))
  ip netns exec "$st" Xvfb "$DISPLAY" -screen 0 640x640x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  for _ in $(seq 100); do ip netns exec "$st" xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  ip netns exec "$st" env LANG=C.UTF-8 "$window" --verbose 2>"$work/window.log" &
  window_pid=$!
  ip netns exec "$st" xdotool search --sync --onlyvisible --name '^Melvorin$' >/dev/null
  for _ in $(seq 100); do grep -Eq 'ff 00 [0-9a-f]{2} 81 ' "$work/window.log" && break; sleep 0.1; done
  ip netns exec "$st" xdotool search --onlyvisible --name '^Melvorin$' windowfocus --sync
  ip netns exec "$st" xdotool key Tab Tab Down Return
  for _ in $(seq 100); do [ "$(grep -c 'lwip-unit: joining' "$work/unit.log")" -eq 3 ] && break; sleep 0.1; done
  kill "$window_pid" 2>/dev/null
  wait "$window_pid" 2>/dev/null
  grep 'lwip-unit: joining' "$work/unit.log" | sed -n 3p | grep -Eq '"(HomeNet|Cafe)" with a key of 8 bytes' ||
    { cat "$work/window.log" >&2; fail "the window did not join one of the unit's networks"; }
  echo "run_lwip_unit: the window listed and joined it too"
fi
echo "run_lwip_unit: scanned, joined, refused, joined again, checked"
