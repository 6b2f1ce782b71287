#!/usr/bin/env bash
# End-to-end run on two hosts: a tool host and a device host, each a network
# namespace of its own, joined by a veth pair on 10.213.7.0/30 with the
# limited broadcast routed onto it. melvorin-devsim runs on the device host,
# the window's test program on the tool host. Everything made here is removed
# on the way out, whether the test passed or not.
#
# Usage: run_e2e.sh DEVSIM WINDOW_TEST
# Exit: the window test's code; 77 (skipped) when namespaces cannot be made.
set -uo pipefail

devsim=${1:?usage: run_e2e.sh DEVSIM WINDOW_TEST}
window_test=${2:?usage: run_e2e.sh DEVSIM WINDOW_TEST}

# The veth pair is made in the current namespace before it is moved: never do
# that in the machine's own one.
if [ "$(readlink /proc/self/ns/net)" = "$(readlink /proc/1/ns/net)" ]; then
  echo "run_e2e: refusing to run in the machine's own network namespace; use scripts/in-netns" >&2
  exit 1
fi
if [ "$(id -u)" -ne 0 ] || ! command -v ip >/dev/null; then
  echo "run_e2e: needs root and iproute2 to make the test hosts; skipped" >&2
  exit 77
fi

tool_ns=mlv-tool-$$
dev_ns=mlv-dev-$$
veth_tool=mlvt$$
veth_dev=mlvd$$
work=$(mktemp -d /tmp/mlv-e2e.XXXXXX)
devsim_pid=

cleanup() {
  if [ -n "$devsim_pid" ] && kill -0 "$devsim_pid" 2>/dev/null; then
    kill -TERM "$devsim_pid" 2>/dev/null
    wait "$devsim_pid" 2>/dev/null
  fi
  ip netns pids "$tool_ns" 2>/dev/null | xargs -r kill -KILL 2>/dev/null
  ip netns pids "$dev_ns" 2>/dev/null | xargs -r kill -KILL 2>/dev/null
  ip netns del "$tool_ns" 2>/dev/null
  ip netns del "$dev_ns" 2>/dev/null
  ip link del "$veth_tool" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

ip netns add "$tool_ns" && ip netns add "$dev_ns" || { echo "run_e2e: ip netns add failed; skipped" >&2; exit 77; }
set -e
ip link add "$veth_tool" type veth peer name "$veth_dev"
ip link set "$veth_tool" netns "$tool_ns"
ip link set "$veth_dev" netns "$dev_ns"
ip -n "$tool_ns" addr add 10.213.7.1/30 dev "$veth_tool"
ip -n "$dev_ns" addr add 10.213.7.2/30 dev "$veth_dev"
for ns in "$tool_ns" "$dev_ns"; do ip -n "$ns" link set lo up; done
ip -n "$tool_ns" link set "$veth_tool" up
ip -n "$dev_ns" link set "$veth_dev" up
ip -n "$tool_ns" route add 255.255.255.255/32 dev "$veth_tool" src 10.213.7.1
ip -n "$dev_ns" route add 255.255.255.255/32 dev "$veth_dev" src 10.213.7.2
set +e

ip netns exec "$dev_ns" "$devsim" --verbose 2>"$work/devsim.log" &
devsim_pid=$!
for _ in $(seq 100); do
  grep -q "listening on port 1902" "$work/devsim.log" && break
  kill -0 "$devsim_pid" 2>/dev/null || break
  sleep 0.1
done
if ! grep -q "listening on port 1902 with 4 networks" "$work/devsim.log"; then
  echo "run_e2e: melvorin-devsim did not start:" >&2
  cat "$work/devsim.log" >&2
  exit 1
fi

QT_QPA_PLATFORM=offscreen timeout 120 ip netns exec "$tool_ns" "$window_test" window
status=$?

echo "--- melvorin-devsim log (device host 10.213.7.2) ---"
cat "$work/devsim.log"
# The device saw the requests come over the veth from the tool host.
if [ "$status" -eq 0 ] && ! grep -q "request from 10.213.7.1:12345: ff 00 01 01 02" "$work/devsim.log"; then
  echo "run_e2e: the device never saw the tool's scan from 10.213.7.1:12345" >&2
  status=1
fi
exit "$status"
