#!/usr/bin/env bash
# Two units at one address: a station with two links (veth pairs), each to a
# unit of its own that calls itself 192.168.4.1, as modules behind their own
# access points do; the station is 192.168.4.2 on both. Unit A has a
# registered hardware address (Espressif's 24:6f:28), unit B a locally
# administered one. The scan lists both with their hardware addresses (learnt
# from the units' own ARP requests); a join reaches each through its own link
# only; --device by hardware address picks one; --device 192.168.4.1 is
# refused as ambiguous, with nothing sent. With a Wine prefix, MELVORIN_CLI is
# melvorin-cli.exe, run under Wine with the prefix's wineserver in the
# station's namespace.
#
# Usage: run_units.sh MELVORIN_CLI MELVORIN_DEVSIM [WINE_PREFIX]
# Exit: 0 passed, 1 failed, 77 skipped (namespaces cannot be made).
set -uo pipefail
cli=${1:?usage: run_units.sh MELVORIN_CLI MELVORIN_DEVSIM [WINE_PREFIX]}
devsim=${2:?usage: run_units.sh MELVORIN_CLI MELVORIN_DEVSIM [WINE_PREFIX]}
prefix=${3:-}
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
wine_run="$here/../../scripts/wine-run"

. "$here/../support/kit.sh"
netns_preflight run_units

st=mlv-us-$$ a=mlv-ua-$$ b=mlv-ub-$$
la=mlvua$$ lb=mlvub$$
mac_a=24:6f:28:00:00:01 mac_b=02:00:00:00:00:02
work=$(mktemp -d /tmp/mlv-units.XXXXXX)
cleanup() {
  devsim_stop
  [ -z "$prefix" ] || bash "$wine_run" --stop "$prefix"
  netns_remove "$st" "$a" "$b" -- "$la" "$lb"
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

netns_add "$st" "$a" "$b" || exit
# link UNIT_NS LINK MAC: LINK on the station, LINKp in the unit's namespace
# with the unit's hardware address.
link() {
  netns_veth "$2" "$1" "${2}p" 192.168.4.1 "$st" "$2" 192.168.4.2 && ip -n "$1" link set "${2}p" address "$3"
}
link "$a" "$la" "$mac_a" && link "$b" "$lb" "$mac_b" ||
  { echo "run_units: the test hosts could not be made" >&2; exit 1; }
# Two routes to one subnet: a reply on the second link is not a spoof.
for conf in all default "$la" "$lb"; do
  ip netns exec "$st" sysctl -qw "net.ipv4.conf.$conf.rp_filter=0" || exit 1
done

devsim_start "$work/a.log" ip netns exec "$a" "$devsim" --verbose || exit 1
pid_a=$devsim_pid
devsim_start "$work/b.log" ip netns exec "$b" "$devsim" --verbose || exit 1

failed=0
fail() { echo "run_units: $*" >&2; failed=1; }
# The scan runs without privileges: reading the neighbour table needs none.
in_station() { ip netns exec "$st" "$cli" "$@"; }
# (a copy where that user can read it, wherever the build tree is)
chmod 755 "$work" && install -m 755 "$cli" "$work/melvorin-cli" || exit 1
# (without the sanitizers' suppression files, which that user may not read)
as_nobody() {
  ip netns exec "$st" env LSAN_OPTIONS= TSAN_OPTIONS=halt_on_error=1:exitcode=66 \
    setpriv --reuid 65534 --regid 65534 --clear-groups "$work/melvorin-cli" "$@"
}
if [ -n "$prefix" ]; then
  as_nobody() { in_station "$@"; }
  bash "$wine_run" --stop "$prefix"  # its wineserver starts again in the station
  in_station() { ip netns exec "$st" bash "$wine_run" "$prefix" "$cli" "$@"; }
fi
joins() { grep -c "request from 192.168.4.2:12345: ff 00 .. 02 00" "$work/$1.log"; }

# The maker is the registry's, where the registries are installed and read.
vendor_of() {
  local name
  name=$(grep -i "^MA-L,${1//:/}," /usr/share/ieee-data/oui.csv 2>/dev/null | head -n 1 | cut -d, -f3)
  echo "${name:-}"
}
vendor_a=$(vendor_of 246F28)

scan=$(as_nobody scan --json --timeout 1.5); code=$?
[ "$code" -eq 0 ] || fail "scan exited with $code"
[ "$(json_get "$scan" 'devices/*/address' | tr '\n' ' ')" = "192.168.4.1 192.168.4.1 " ] || fail "scan: not two units"
python3 - "$scan" "$la" "$lb" "$mac_a" "$mac_b" "$vendor_a" <<'PY' || fail "scan: units wrong: $scan"
import json, sys
scan, la, lb, mac_a, mac_b, vendor_a = sys.argv[1:]
units = {d["interface"]: d for d in json.loads(scan)["devices"]}
assert units[la]["mac"] == mac_a and units[lb]["mac"] == mac_b, units
assert units[la]["vendor"] in (None, vendor_a or None), units[la]
assert units[lb]["vendor"] is None, units[lb]
PY
table=$(in_station scan --timeout 1)
grep -qF "192.168.4.1 ($mac_b, locally administered) on $lb: 4 networks" <<<"$table" || fail "scan table: $table"

ambiguous=$(echo 12345678 | in_station join --ssid HomeNet --device 192.168.4.1 --key-file - 2>&1); code=$?
[ "$code" -eq 2 ] || fail "--device 192.168.4.1 exited with $code"
for unit in "($mac_a" "($mac_b"; do
  grep -qF "192.168.4.1 $unit" <<<"$ambiguous" || fail "--device 192.168.4.1: $unit not named: $ambiguous"
done
[ "$(joins a)" -eq 0 ] && [ "$(joins b)" -eq 0 ] || fail "a join request went out for an ambiguous --device"

one=$(echo 12345678 | in_station join --ssid HomeNet --device 24:6F:28:00:00:01 --key-file - --json); code=$?
[ "$code" -eq 0 ] || fail "join --device 24:6F:28:00:00:01 exited with $code"
[ "$(json_get "$one" 'results/*/interface')" = "$la" ] && [ "$(json_get "$one" results/0/address)" = 192.168.4.1 ] &&
  [ "$(json_get "$one" results/0/verdict)" = accepted ] && [ "$(json_get "$one" results/0/mac)" = "$mac_a" ] ||
  fail "join to unit A: $one"
[ "$(joins a)" -ge 1 ] && [ "$(joins b)" -eq 0 ] || fail "the join to unit A did not keep to its link"

before_a=$(joins a)
all=$(echo 12345678 | in_station join --ssid HomeNet --key-file - --scan-timeout 1); code=$?
[ "$code" -eq 0 ] || fail "join to both exited with $code"
grep -qF "192.168.4.1 ($mac_b, locally administered) on $lb: accepted" <<<"$all" &&
  grep -qE "^192.168.4.1 \($mac_a(, [^)]*)?\) on $la: accepted" <<<"$all" || fail "join to both: $all"
[ "$(joins a)" -eq $((before_a + 1)) ] && [ "$(joins b)" -eq 1 ] || fail "the join to both did not reach each once"

# Bench mode: both units joined once as they come, and no more while they
# stay; unit A then taken off and another put on at its address (its link
# down and up with a new hardware address, after a silence): the new unit is
# joined too. SIGTERM ends it with the summary. Each result is recorded.
# Linux only: under Wine a signal does not reach the program as Ctrl+C.
if [ -z "$prefix" ]; then
  before_a=$(joins a) before_b=$(joins b) mac_c=24:6f:28:00:00:03
  came=$(ip netns exec "$st" timeout --preserve-status -s TERM 2.5 "$cli" scan --watch --json); code=$?
  [ "$code" -eq 0 ] && [ "$(jq -r 'select(.event == "came") | .device.mac' <<<"$came" | sort | tr '\n' ' ')" = \
    "$mac_b $mac_a " ] || fail "scan --watch ($code): $came"
  echo 12345678 | ip netns exec "$st" "$cli" join --watch --ssid HomeNet --key-file - --json \
    --record "$work/units.jsonl" >"$work/watch.out" 2>"$work/watch.err" &
  watcher=$!
  results_in() {
    for _ in $(seq 150); do
      [ "$(grep -c '"verdict"' "$work/watch.out")" -ge "$1" ] && return 0
      sleep 0.1
    done
    return 1
  }
  results_in 2 || fail "watch: not two results"
  sleep 2
  kill "$pid_a"; wait "$pid_a" 2>/dev/null
  ip -n "$a" link set "${la}p" down && ip -n "$a" link set "${la}p" address "$mac_c" &&
    ip -n "$a" link set "${la}p" up || fail "unit A could not be swapped"
  sleep 3
  devsim_start "$work/c.log" ip netns exec "$a" "$devsim" --verbose || fail "the new unit did not start"
  results_in 3 || fail "watch: the unit put on at A's address was not joined"
  sleep 1.5
  kill -TERM "$watcher"; wait "$watcher"; code=$?
  [ "$code" -eq 0 ] || fail "watch exited with $code"
  python3 - "$work/watch.out" "$work/units.jsonl" "$la:$mac_a" "$lb:$mac_b" "$la:$mac_c" <<'PY' || fail "watch: wrong lines"
import json, sys
out, record, *units = sys.argv[1:]
lines = [json.loads(l) for l in open(out)]
assert lines[-1] == {"summary": {"units": 3, "accepted": 3, "refused": 0, "no_result": 0, "exit_code": 0}}, lines
got = sorted(f'{r["interface"]}:{r["mac"]}' for r in lines[:-1] if r["verdict"] == "accepted")
assert got == sorted(units) and len(lines) == 4, lines
rec = [json.loads(l) for l in open(record)]
assert sorted(f'{r["interface"]}:{r["mac"]}' for r in rec) == sorted(units), rec
assert "12345678" not in open(record).read()
PY
  grep -qx "melvorin-cli: 3 units: 3 accepted, 0 refused, 0 no result" "$work/watch.err" || fail "watch: no summary"
  [ "$(joins a)" -eq $((before_a + 1)) ] && [ "$(joins b)" -eq $((before_b + 1)) ] &&
    [ "$(joins c)" -eq 1 ] || fail "watch: a unit was not joined exactly once"
  [ "$failed" -eq 0 ] || { cat "$work/watch.out" "$work/watch.err" "$work/c.log"; }
fi

if [ "$failed" -ne 0 ]; then
  echo "--- scan ---"; echo "$scan"; ip -n "$st" neigh
  echo "--- unit A ---"; cat "$work/a.log"; echo "--- unit B ---"; cat "$work/b.log"
fi
exit "$failed"
