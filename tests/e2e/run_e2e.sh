#!/usr/bin/env bash
# End-to-end run on three hosts, each a network namespace of its own, the way
# a laptop meets a device: the tool host sits on two segments joined to it by
# veth pairs. Segment A (10.213.8.0/24) holds the default route and another
# host; segment B (10.213.7.0/30) holds only the device, melvorin-devsim, and
# no route leads there but the directly connected one. The window's test
# program runs on the tool host. Everything made here is removed on the way
# out, whether the test passed or not.
#
# The sealed suite adds the network the device joins: a third link between
# the device host (10.213.9.57, the same hardware address as its link on
# segment B, 02:00:00:00:41:07) and the tool host (10.213.9.1), where the
# device announces itself after a join it accepts (--target-link).
#
# Usage: run_e2e.sh DEVSIM WINDOW_TEST [SUITE]   (SUITE: window, the default,
#        segments, or sealed: the device offers the sealed join)
# Exit: the window test's code; 77 (skipped) when namespaces cannot be made.
set -uo pipefail

devsim=${1:?usage: run_e2e.sh DEVSIM WINDOW_TEST [SUITE]}
window_test=${2:?usage: run_e2e.sh DEVSIM WINDOW_TEST [SUITE]}
suite=${3:-window}

. "$(dirname "${BASH_SOURCE[0]}")/../support/kit.sh"
netns_preflight run_e2e

tool_ns=mlv-tool-$$
dev_ns=mlv-dev-$$
lan_ns=mlv-lan-$$
veth_tool=mlvt$$      # tool host, segment B
veth_dev=mlvd$$       # device, segment B
veth_tool_lan=mlvl$$  # tool host, segment A
veth_lan=mlvo$$       # the other host, segment A
veth_tool_tgt=mlvg$$  # tool host, the network the device joins (sealed suite)
veth_tgt=mlvn$$       # device, the network it joins
work=$(mktemp -d /tmp/mlv-e2e.XXXXXX)

cleanup() {
  devsim_stop
  netns_remove "$tool_ns" "$dev_ns" "$lan_ns" -- "$veth_tool" "$veth_tool_lan" "$veth_tool_tgt"
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

netns_add "$tool_ns" "$dev_ns" "$lan_ns" || exit
netns_veth "$veth_tool" "$dev_ns" "$veth_dev" 10.213.7.2/30 "$tool_ns" "$veth_tool" 10.213.7.1/30 &&
  netns_veth "$veth_tool_lan" "$lan_ns" "$veth_lan" 10.213.8.2 "$tool_ns" "$veth_tool_lan" 10.213.8.1 &&
  ip -n "$tool_ns" route add default via 10.213.8.2 dev "$veth_tool_lan" &&
  ip -n "$dev_ns" route add 255.255.255.255/32 dev "$veth_dev" src 10.213.7.2 ||
  { echo "run_e2e: the test hosts could not be made" >&2; exit 1; }

sealed=()
if [ "$suite" = sealed ]; then
  unit_mac=02:00:00:00:41:07
  netns_veth "$veth_tool_tgt" "$dev_ns" "$veth_tgt" 10.213.9.57 "$tool_ns" "$veth_tool_tgt" 10.213.9.1 &&
    ip -n "$dev_ns" link set "$veth_dev" address "$unit_mac" &&
    ip -n "$dev_ns" link set "$veth_tgt" address "$unit_mac" ||
    { echo "run_e2e: the device's target link could not be made" >&2; exit 1; }
  sealed=(--sealed --unit-key "$work/unit.key" --target-link "$veth_tgt")
fi
devsim_start "$work/devsim.log" ip netns exec "$dev_ns" "$devsim" --verbose "${sealed[@]}" || exit 1
if ! grep -q "listening on port 1902 with 4 networks" "$work/devsim.log"; then
  echo "run_e2e: melvorin-devsim does not offer its four networks on port 1902:" >&2
  cat "$work/devsim.log" >&2
  exit 1
fi

# The window suite runs as an ordinary user without capabilities, as the
# program does on a laptop; the segments suite changes the tool host's routes
# and opens sockets on segment A, which takes root.
#
# That user may not enter the folder the tree lies in (a clone in root's home
# or in a mktemp -d folder is root's alone). What the run reads from there is
# copied into the work folder, which is the user's, and the run is pointed at
# the copies: the test program (a sanitizer reads its file to name the frames
# of a report, which suppressions by source file need) and the suppression
# files named in the sanitizers' options.
# The work folder is the user's home too. Each of them is checked as that
# user before the run.
as_user=()
if [ "$suite" = window ] && command -v setpriv >/dev/null; then
  as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups --inh-caps=-all --bounding-set=-all)
  cp "$window_test" "$work/" || exit 1
  window_test=$work/$(basename "$window_test")
  readable=("$window_test")
  for options in ASAN_OPTIONS LSAN_OPTIONS TSAN_OPTIONS UBSAN_OPTIONS; do
    value=${!options:-}
    [[ "$value" =~ (^|:)suppressions=([^:]+) ]] || continue
    file=${BASH_REMATCH[2]}
    copy=$work/${options%_OPTIONS}.supp
    cp "$file" "$copy" || { echo "run_e2e: cannot copy $options's suppressions $file" >&2; exit 1; }
    export "$options=${value/"suppressions=$file"/"suppressions=$copy"}"
    readable+=("$copy")
  done
  export HOME=$work XDG_RUNTIME_DIR=$work/runtime
  mkdir -m 700 "$XDG_RUNTIME_DIR" && chown -R 65534:65534 "$work" || exit 1
  for path in "${readable[@]}"; do
    if ! "${as_user[@]}" test -r "$path"; then
      echo "run_e2e: user 65534, who runs the window suite, cannot read $path" >&2
      exit 1
    fi
  done
  if ! "${as_user[@]}" test -x "$window_test"; then
    echo "run_e2e: user 65534, who runs the window suite, cannot run $window_test" >&2
    exit 1
  fi
fi
# The pins the window keeps are the run's own.
export XDG_STATE_HOME=$work/state
QT_QPA_PLATFORM=offscreen MELVORIN_E2E_LAN_NS=$lan_ns MELVORIN_E2E_LAN_IF=$veth_tool_lan MELVORIN_E2E_DEV_NS=$dev_ns \
  MELVORIN_E2E_DEVICE_IF=$veth_tool timeout 120 ip netns exec "$tool_ns" "${as_user[@]}" "$window_test" "$suite"
status=$?

echo "--- melvorin-devsim log (device host 10.213.7.2) ---"
cat "$work/devsim.log"
# The device saw the requests come over its own segment from the tool host.
if [ "$status" -eq 0 ] && ! grep -q "request from 10.213.7.1:12345: ff 00 01 01 02" "$work/devsim.log"; then
  echo "run_e2e: the device never saw the tool's scan from 10.213.7.1:12345" >&2
  status=1
fi
# The sealed device opened a sealed join (command 03) and saw none in clear;
# it hears the tool host's scans on the network it joins too, so the join may
# go to it there.
join_from_tool="request from 10\.213\.[79]\.1:12345: ff 00 [0-9a-f]{2}"
if [ "$status" -eq 0 ] && [ "$suite" = sealed ] &&
  { ! grep -Eq "$join_from_tool 03 01" "$work/devsim.log" || grep -Eq "$join_from_tool 02" "$work/devsim.log"; }; then
  echo "run_e2e: the device did not open exactly sealed joins from the tool host" >&2
  status=1
fi
exit "$status"
