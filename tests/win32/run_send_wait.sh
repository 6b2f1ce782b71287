#!/usr/bin/env bash
# Sending into a full send buffer under Wine. The loopback of this private
# network namespace (CTest's, scripts/in-netns) is held to a slow rate by a
# token bucket, so datagrams stay queued and count against the sending
# socket: a send waits for room; then, with a rate far below what a send
# waits for, closing the socket ends the wait. Skipped (77) without root or
# the kernel's token bucket.
#
# Usage: run_send_wait.sh PREFIX NET_TESTS_EXE
set -euo pipefail
prefix="$1" exe="$2"
here="$(cd "$(dirname "$0")" && pwd)"
# shellcheck source=../support/netns.sh
. "$here/../support/netns.sh"
netns_private run_send_wait
if ! tc qdisc add dev lo root tbf rate 256kbit burst 16000 latency 10s 2>/dev/null; then
  echo "run_send_wait: no token bucket on the loopback (needs root and sch_tbf); skipped" >&2
  exit 77
fi
trap 'tc qdisc del dev lo root 2>/dev/null || :' EXIT
run() { bash "$here/../../scripts/wine-run" "$prefix" "$exe" --gtest_filter="FullSendBuffer.$1"; }
run SendWaitsForRoom
# 1000 bytes a second.
tc qdisc change dev lo root tbf rate 8kbit burst 16000 latency 60s
run ClosingTheSocketEndsAWaitingSend
