#!/usr/bin/env bash
# Bench mode (join --watch) over veth links, the station and the units in
# namespaces of their own: unit U never answers a join (tried again after
# 10 s, --max-tries 2 ends it); U unknown to the station's neighbour table
# (it knows the station's address, so never asks): the same unit after a
# silence until its hardware address is known; unit W on two links with one
# hardware address, its replies crossing to the other link: joined once;
# another user's program on the search port ends the bench at once.
# Usage: run_bench_mode.sh MELVORIN_CLI MELVORIN_DEVSIM
# Exit: 0 passed, 1 failed, 77 skipped (namespaces cannot be made).
set -uo pipefail
cli=${1:?usage: run_bench_mode.sh MELVORIN_CLI MELVORIN_DEVSIM}
devsim=${2:?usage: run_bench_mode.sh MELVORIN_CLI MELVORIN_DEVSIM}
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

. "$here/../support/kit.sh"
netns_preflight run_bench_mode

st=mlv-bs-$$ u=mlv-bu-$$ w=mlv-bw-$$
la=mlvba$$ lc=mlvbc$$ ld=mlvbd$$
mac_u=24:6f:28:00:00:0a mac_w=24:6f:28:00:00:0b
work=$(mktemp -d /tmp/mlv-bench-mode.XXXXXX)
cleanup() {
  devsim_stop
  [ -z "${watcher:-}" ] || kill "$watcher" 2>/dev/null
  netns_remove "$st" "$u" "$w" -- "$la" "$lc" "$ld"
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

for ns in "$st" "$u" "$w"; do
  ip netns add "$ns" || { echo "run_bench_mode: ip netns add failed; skipped" >&2; exit 77; }
done
set_mac() { ip -n "$1" link set "$2" down && ip -n "$1" link set "$2" address "$3" && ip -n "$1" link set "$2" up; }
rp_off() { for conf in all default "${@:2}"; do ip netns exec "$1" sysctl -qw "net.ipv4.conf.$conf.rp_filter=0" || return 1; done; }
netns_veth "$la" "$u" ua 192.168.4.1 "$st" "$la" 192.168.4.2 && set_mac "$u" ua "$mac_u" &&
  netns_veth "$lc" "$w" wc 192.168.6.1 "$st" "$lc" 192.168.6.2 && set_mac "$w" wc "$mac_w" &&
  netns_veth "$ld" "$w" wd 192.168.7.1 "$st" "$ld" 192.168.7.2 && set_mac "$w" wd "$mac_w" &&
  ip -n "$w" route add 192.168.6.2/32 dev wd && ip -n "$w" route add 192.168.7.2/32 dev wc &&
  rp_off "$st" "$lc" "$ld" && rp_off "$w" wc wd || { echo "run_bench_mode: the test hosts could not be made" >&2; exit 1; }

failed=0
fail() { echo "run_bench_mode: $*" >&2; failed=1; }
joins() { grep -c "request from 192.168.4.2:12345: ff 00 .. 02 00" "$work/$1.log"; }
# watch NAME ARGS...: join --watch in the station ($watcher), into NAME.out/.err.
watch() {
  local name=$1
  shift
  echo 12345678 | ip netns exec "$st" "$cli" join --watch --ssid HomeNet --key-file - --json "$@" \
    >"$work/$name.out" 2>"$work/$name.err" &
  watcher=$!
}
# lines_in NAME N PATTERN: waits up to 20 s for N lines matching PATTERN in NAME.out.
lines_in() {
  for _ in $(seq 200); do
    [ "$(cat "$work/$1.out" 2>/dev/null | grep -c "$3")" -ge "$2" ] && return 0
    sleep 0.1
  done
  return 1
}
stop_watch() { kill -TERM "$watcher" 2>/dev/null; wait "$watcher"; code=$?; watcher=; }
# ended_watch: gives it 10 s to end by itself ($ended), then SIGTERM.
ended_watch() {
  ended=no
  for _ in $(seq 100); do kill -0 "$watcher" 2>/dev/null || { ended=yes; break; }; sleep 0.1; done
  stop_watch
}
unit_u() {
  devsim_start "$work/$1.log" ip netns exec "$u" "$devsim" --verbose "${@:2}" || fail "unit U did not start"
  pid_u=$devsim_pid
}
stop_u() { kill "$pid_u"; wait "$pid_u" 2>/dev/null; }

# 1. No result, ever: two tries, 10 s apart at the least, then no more.
unit_u u1 --fault no-join-reply
watch silent --timeout 0.5 --retries 0 --max-tries 2 --record "$work/silent.jsonl"
lines_in silent 1 '"no_result"' || fail "no first no_result"
first=$(date +%s%N)
lines_in silent 2 '"no_result"' || fail "no second no_result"
second=$(date +%s%N)
[ $(((second - first) / 100000000)) -ge 98 ] || fail "tried again $(((second - first) / 1000000)) ms after its first no_result"
sleep 2.5
stop_watch
[ "$code" -eq 3 ] || fail "silent unit: exit code $code"
[ "$(grep -cE 'ignored [0-9]+ bytes from .*: ff 00 [0-9a-f]{2} 02 ' "$work/u1.log")" -eq 2 ] || fail "not two join requests to the silent unit"
grep -qx "melvorin-cli: 192.168.4.1 ($mac_u) on $la: no result after 2 tries; not tried again" "$work/silent.err" ||
  fail "no last-try note"
grep -qx "melvorin-cli: 1 unit: 0 accepted, 0 refused, 1 no result" "$work/silent.err" || fail "silent: summary"
[ "$(grep -c '"verdict": "no_result"' "$work/silent.jsonl")" -eq 2 ] || fail "not both tries recorded"
[ "$failed" -eq 0 ] || { cat "$work/silent.out" "$work/silent.err" "$work/u1.log"; }
stop_u

# 2. The station knows nothing of U's hardware address: U answers it
# without asking (the station's address is in U's table).
station_mac=$(ip -n "$st" -br link show "$la" | awk '{print $3}')
ip -n "$u" neigh replace 192.168.4.2 lladdr "$station_mac" dev ua nud permanent &&
  ip -n "$st" neigh flush dev "$la" || fail "the neighbour tables could not be set"
unit_u u2
watch bare --record "$work/bare.jsonl"
lines_in bare 1 '"accepted"' || fail "U without hardware address: not joined"
stop_u
sleep 3.5  # a silence: another unit could stand there now
unit_u u3
sleep 2.5
[ "$(joins u3)" -eq 0 ] || fail "U heard again without hardware address was joined again"
ip -n "$st" neigh replace 192.168.4.1 lladdr "$mac_u" dev "$la" nud permanent || fail "neigh"
stop_u
sleep 3.5
unit_u u4
lines_in bare 2 '"accepted"' || fail "U, its hardware address known after a silence, was not joined"
stop_watch
[ "$code" -eq 0 ] || fail "MAC-less: exit code $code"
[ "$(jq -sc '[.[] | select(.verdict) | .mac]' "$work/bare.out")" = "[null,\"$mac_u\"]" ] ||
  fail "MAC-less: wrong results"
grep -qx "melvorin-cli: 2 units: 2 accepted, 0 refused, 0 no result" "$work/bare.err" || fail "MAC-less: summary"
[ "$failed" -eq 0 ] || { cat "$work/bare.out" "$work/bare.err"; }
stop_u

# 3. W on two links: heard on both, joined once, its result crossing over.
devsim_start "$work/w.log" ip netns exec "$w" "$devsim" --verbose || fail "unit W did not start"
watch twice
lines_in twice 1 '"verdict"' || fail "W: no result"
sleep 2
stop_watch
[ "$code" -eq 0 ] || fail "two links: exit code $code"
[ "$(grep -c 'request from 192.168.[67].2:12345: ff 00 .. 02 00' "$work/w.log")" -eq 1 ] ||
  fail "W was not joined exactly once"
[ "$(jq -sc '[.[] | select(.verdict) | [.verdict, .mac]]' "$work/twice.out")" = "[[\"accepted\",\"$mac_w\"]]" ] ||
  fail "two links: wrong results"
grep -qx "melvorin-cli: 1 unit: 1 accepted, 0 refused, 0 no result" "$work/twice.err" || fail "two links: summary"
[ "$failed" -eq 0 ] || { cat "$work/twice.out" "$work/twice.err" "$work/w.log"; ip -n "$st" neigh; }

# A record that cannot take a line (past the file size limit) ends the
# joining at once.
printf '%4095s\n' '' >"$work/full.jsonl"
echo 12345678 | (trap '' XFSZ; ulimit -f 4; exec ip netns exec "$st" "$cli" join --watch --ssid HomeNet \
  --key-file - --record "$work/full.jsonl") >"$work/full.out" 2>"$work/full.err" &
watcher=$!
ended_watch
[ "$ended$code" = yes1 ] || fail "an unwritable record: ended by itself: $ended, exit code $code"
grep -qF "cannot write to the record file \"$work/full.jsonl\": File too large" "$work/full.err" &&
  grep -q "no more units are joined" "$work/full.err" || fail "an unwritable record: $(cat "$work/full.err")"

# 4. Another user's program bound to the search port on the station.
# (copied where that user can run it, without the sanitizers' suppression
# files, which may be where that user cannot read them)
chmod 755 "$work" && install -m 755 "$devsim" "$work/melvorin-devsim" || exit 1
devsim_start "$work/nobody.log" ip netns exec "$st" env LSAN_OPTIONS= TSAN_OPTIONS=halt_on_error=1:exitcode=66 \
  setpriv --reuid 65534 --regid 65534 --clear-groups "$work/melvorin-devsim" || fail "nobody's listener did not start"
before=$(grep -c 'ff 00 .. 02 00' "$work/w.log")
watch other
ended_watch
[ "$ended$code" = yes1 ] || fail "another user's listener: ended by itself: $ended, exit code $code"
grep -q "nothing was sent: a program of nobody (uid 65534) is bound to UDP port 1902" "$work/other.err" ||
  fail "another user's listener: $(cat "$work/other.err")"
[ "$(grep -c 'ff 00 .. 02 00' "$work/w.log")" -eq "$before" ] || fail "a join request went out past another user's listener"

exit "$failed"
