#!/usr/bin/env bash
# The sealed join through the real programs: a station and a unit on a veth
# link (the unit 192.168.4.1 with hardware address 24:6f:28:00:00:01), every
# frame of the link captured on the station's side (AF_PACKET).
#  - melvorin-devsim --sealed is joined sealed: accepted, "sealed": true, no
#    run of the key on the wire; the unit's key is pinned; pins list shows it
#    with the label code the unit printed. The captured sealed join sent
#    again is not answered.
#  - A wrong --code sends nothing (exit 2); the right one joins.
#  - An impostor at the pinned unit's address and hardware address without
#    the seal, or with another key, gets nothing: downgrade_refused, exit 1,
#    the unit named.
#  - Bench mode seals, and refuses the impostor, alike.
#  - pins forget lets it be joined in clear ("sealed": false; the key then on
#    the wire: the capture's control); --require-seal refuses it: not_sealed,
#    exit 1, no join at the unit. pins forget of a MAC without a pin: exit 1;
#    of a malformed one: exit 2.
#  - join --online, with a second link to the network the unit joins (the
#    unit 10.41.9.57 there, the same hardware address; the join sent out of
#    the first link only): a clear join's announcement is reported
#    unauthenticated (JSON, table, record line), a sealed one's
#    authenticated, on the second link; a forged announcement (the unit's
#    hardware address without the join's tag) is ignored: online null.
#
# Usage: run_sealed.sh MELVORIN_CLI MELVORIN_DEVSIM
# Exit: 0 passed, 1 failed, 77 skipped (namespaces cannot be made).
set -uo pipefail
cli=${1:?usage: run_sealed.sh MELVORIN_CLI MELVORIN_DEVSIM}
devsim=${2:?usage: run_sealed.sh MELVORIN_CLI MELVORIN_DEVSIM}
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

. "$here/../support/kit.sh"
netns_preflight run_sealed
failed=0

st=mlv-ss-$$ u=mlv-su-$$ link=mlvsu$$ tlink=mlvst$$ mac=24:6f:28:00:00:01
key=Sealed-Secret-4711
work=$(mktemp -d /tmp/mlv-sealed.XXXXXX)
capture= forger=
cleanup() {
  devsim_stop
  [ -z "$capture" ] || { kill "$capture" 2>/dev/null; wait "$capture" 2>/dev/null; }
  [ -z "$forger" ] || { kill "$forger" 2>/dev/null; wait "$forger" 2>/dev/null; }
  netns_remove "$st" "$u" -- "$link" "$tlink"
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

netns_add "$st" "$u" || exit
netns_veth "$link" "$u" "${link}p" 192.168.4.1 "$st" "$link" 192.168.4.2 &&
  ip -n "$u" link set "${link}p" address "$mac" || { echo "run_sealed: the test hosts could not be made" >&2; exit 1; }

# Every frame of the station's link, appended to $work/wire as it comes.
ip netns exec "$st" python3 -c '
import socket, sys
s = socket.socket(socket.AF_PACKET, socket.SOCK_RAW, socket.htons(3))
s.bind((sys.argv[1], 0))
open(sys.argv[2] + ".ready", "w").close()
with open(sys.argv[2], "ab", buffering=0) as out:
    while True:
        out.write(s.recv(65535))
' "$link" "$work/wire" &
capture=$!
for _ in $(seq 50); do [ -e "$work/wire.ready" ] && break; sleep 0.1; done
[ -e "$work/wire.ready" ] || { echo "run_sealed: the capture did not start" >&2; exit 1; }

export XDG_STATE_HOME=$work/state
in_station() { ip netns exec "$st" "$cli" "$@"; }
join() { echo "$key" | in_station join --ssid HomeNet --key-file - --scan-timeout 1 --timeout 3 --json "$@"; }
# The key's bytes on the wire since the capture was emptied.
on_wire() { grep -qaF "$key" "$work/wire"; }
joins() { grep -cE "request from 192.168.4.2:12345: ff 00 .. 0[23] " "$work/$1.log"; }
# unit NAME ARGS...: a unit in the unit's namespace, its stdout in NAME.out.
unit() { devsim_in "$u" "$work/$1.log" "$work/$1.out" "$devsim" --key "$key" --verbose "${@:2}"; }

unit sealed --sealed --unit-key "$work/unit.key" || exit 1
code_of_unit=$(label_code "$work/sealed.out")
[ -n "$code_of_unit" ] || fail "the sealed unit printed no label code"

# A wrong --code: nothing sent, exit 2, the codes named.
wrong=AAAA-AAAA-AAAA-AAAA-AAAA-AAAA-AA
out=$(join --device "$mac" --code "$wrong" 2>&1); rc=$?
[ "$rc" -eq 2 ] || fail "a wrong --code exited with $rc: $out"
grep -qF "$code_of_unit" <<<"$out" && grep -qF "$wrong" <<<"$out" && grep -qF "192.168.4.1" <<<"$out" ||
  fail "a wrong --code: the unit and codes not named: $out"
[ "$(joins sealed)" -eq 0 ] || fail "a wrong --code sent a join"
[ ! -e "$XDG_STATE_HOME/melvorin/pins" ] || fail "a wrong --code pinned"

# First sight, sealed: accepted, nothing of the key on the wire, pinned.
: >"$work/wire"
out=$(join); rc=$?
[ "$rc" -eq 0 ] && [ "$(json_get "$out" results/0/verdict)" = accepted ] &&
  [ "$(json_get "$out" results/0/sealed)" = true ] && [ "$(json_get "$out" results/0/online)" = null ] ||
  fail "the sealed join ($rc): $out"
[ "$(joins sealed)" -ge 1 ] || fail "the sealed unit saw no join"
on_wire && fail "the sealed join put the key on the wire"
# The captured sealed join, sent again: the unit ignores it (its nonce is
# spent) and answers nothing.
replies() { grep -cE "reply to 192.168.4.2:[0-9]+: ff 00 13 82 " "$work/sealed.log"; }
ignored() { grep -cE "ignored [0-9]+ bytes from 192.168.4.2:12345: ff 00 .. 03 01 " "$work/sealed.log"; }
before=$(replies) seen=$(ignored)
ip netns exec "$st" python3 -c '
import re, socket, sys
wire = open(sys.argv[1], "rb").read()
frame = next(m.group(0)[:m.group(0)[2] + 4] for m in re.finditer(rb"\xff\x00[\x00-\xff]\x03\x01[\x00-\xff]{100,}", wire))
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(("192.168.4.2", 12345))
s.sendto(frame, ("192.168.4.1", 1902))
' "$work/wire" || fail "no sealed join in the capture"
for _ in $(seq 30); do [ "$(ignored)" -gt "$seen" ] && break; sleep 0.1; done
sleep 0.2
[ "$(ignored)" -gt "$seen" ] && [ "$(replies)" -eq "$before" ] ||
  fail "the replayed sealed join: ignored $seen -> $(ignored), results $before -> $(replies)"
pins=$(in_station pins list --json)
[ "$(json_get "$pins" "pins/mac=$mac/label_code")" = "$code_of_unit" ] || fail "pins list: $pins"
grep -qE "^$mac  $code_of_unit  04[0-9a-f]{128}$" <<<"$(in_station pins list)" || fail "pins list table"

# The right --code joins, in the table with "sealed".
out=$(echo "$key" | in_station join --ssid HomeNet --key-file - --scan-timeout 1 --device "$mac" \
  --code "${code_of_unit,,}"); rc=$?
[ "$rc" -eq 0 ] && grep -qE "on $link: accepted \(sealed\)" <<<"$out" || fail "the right --code ($rc): $out"

# Bench mode seals each unit as it comes.
# bench: its first line (the unit's result); its summary line in $summary.
bench() {
  echo "$key" | ip netns exec "$st" timeout --preserve-status -s TERM 3 "$cli" join --watch --ssid HomeNet \
    --key-file - --json >"$work/bench.out" 2>/dev/null
  summary=$(tail -n 1 "$work/bench.out")
  head -n 1 "$work/bench.out"
}
out=$(bench)
[ "$(json_get "$out" verdict)" = accepted ] && [ "$(json_get "$out" sealed)" = true ] || fail "bench mode, sealed: $out"

# Replies lost (--loss, a seed whose first result is lost): each resend is
# sealed anew to a fresh nonce, the first one being spent.
devsim_stop
unit lossy --sealed --unit-key "$work/unit.key" --loss 0.5 --seed "${MELVORIN_SEALED_SEED:-3}" || exit 1
out=$(join --device "$mac" --retries 10 --timeout 12); rc=$?
[ "$rc" -eq 0 ] && [ "$(json_get "$out" results/0/sealed)" = true ] || fail "the sealed join over loss ($rc): $out"
nonces=$(grep -oE "request from 192.168.4.2:12345: ff 00 .. 03 01( ..){16}" "$work/lossy.log" | cut -d' ' -f9-)
[ "$(wc -l <<<"$nonces")" -ge 2 ] && [ "$(sort -u <<<"$nonces" | wc -l)" -eq "$(wc -l <<<"$nonces")" ] ||
  fail "the resends over loss did not each take a fresh nonce: $nonces"

# An impostor at the pinned unit's addresses, without the seal: nothing sent.
devsim_stop
unit plain || exit 1
out=$(join 2>"$work/err"); rc=$?
[ "$rc" -eq 1 ] && [ "$(json_get "$out" results/0/verdict)" = downgrade_refused ] ||
  fail "the impostor ($rc): $out"
grep -qF "192.168.4.1 ($mac" "$work/err" &&
  grep -qF "the unit offered a sealed join before; refused to send the key in clear" "$work/err" ||
  fail "the impostor's refusal: $(cat "$work/err")"
bench >"$work/first"
out=$(cat "$work/first")
[ "$(json_get "$out" verdict)" = downgrade_refused ] && [ "$(json_get "$summary" summary/refused)" = 1 ] &&
  [ "$(json_get "$summary" summary/exit_code)" = 1 ] || fail "bench mode, the impostor: $out $summary"
[ "$(joins plain)" -eq 0 ] || fail "the impostor got a join"

# Nor an impostor with a key of its own.
devsim_stop
unit other --sealed --unit-key "$work/other.key" || exit 1
out=$(join 2>"$work/err"); rc=$?
[ "$rc" -eq 1 ] && [ "$(json_get "$out" results/0/verdict)" = downgrade_refused ] &&
  grep -qF "the unit offers another key than the one pinned to it; refused to send the key" "$work/err" ||
  fail "the impostor with another key ($rc): $out $(cat "$work/err")"
[ "$(joins other)" -eq 0 ] || fail "the impostor with another key got a join"
devsim_stop
unit plain || exit 1

# Forgotten, the unit without the seal is refused by --require-seal only.
in_station pins forget "${mac^^}" || fail "pins forget exited with $?"
out=$(join --require-seal 2>"$work/err"); rc=$?
[ "$rc" -eq 1 ] && [ "$(json_get "$out" results/0/verdict)" = not_sealed ] || fail "--require-seal ($rc): $out"
[ "$(joins plain)" -eq 0 ] || fail "--require-seal sent a join"
: >"$work/wire"
out=$(join); rc=$?
[ "$rc" -eq 0 ] && [ "$(json_get "$out" results/0/sealed)" = false ] || fail "the clear join ($rc): $out"
on_wire || fail "the capture's control: the clear join's key is not on the wire"
[ -z "$(in_station pins list)" ] || fail "a clear join pinned"

in_station pins forget "$mac" 2>/dev/null; rc=$?
[ "$rc" -eq 1 ] || fail "pins forget of a MAC without a pin exited with $rc"
in_station pins forget 24:6f:28 2>/dev/null; rc=$?
[ "$rc" -eq 2 ] || fail "pins forget of a malformed MAC exited with $rc"

# --online: the network the unit joins, on a second link (made only now: the
# scans before went out of one link alone).
netns_veth "$tlink" "$u" "${tlink}p" 10.41.9.57 "$st" "$tlink" 10.41.9.1 &&
  ip -n "$u" link set "${tlink}p" address "$mac" || fail "the target link could not be made"
devsim_stop
unit clearon --target-link "${tlink}p" || exit 1
online() { join --interface "$link" --online "$@"; }
out=$(online 10); rc=$?
[ "$rc" -eq 0 ] && [ "$(json_get "$out" results/0/sealed)" = false ] &&
  [ "$(json_get "$out" results/0/online/address)" = 10.41.9.57 ] &&
  [ "$(json_get "$out" results/0/online/interface)" = "$tlink" ] &&
  [ "$(json_get "$out" results/0/online/authenticated)" = false ] || fail "--online, clear ($rc): $out"
out=$(echo "$key" | in_station join --ssid HomeNet --key-file - --scan-timeout 1 --interface "$link" --online 10 \
  --record "$work/record"); rc=$?
[ "$rc" -eq 0 ] && grep -qxF "  online at 10.41.9.57 on $tlink (unauthenticated)" <<<"$out" &&
  [ "$(json_get "$(tail -n 1 "$work/record")" online)" = 10.41.9.57 ] &&
  [ "$(json_get "$(tail -n 1 "$work/record")" verdict)" = online ] &&
  [ "$(json_get "$(tail -n 2 "$work/record" | head -n 1)" verdict)" = accepted ] &&
  [ "$(json_get "$(tail -n 2 "$work/record" | head -n 1)" online)" = null ] ||
  fail "--online, clear, the table and record ($rc): $out $(cat "$work/record")"

devsim_stop
unit sealedon --sealed --unit-key "$work/unit.key" --target-link "${tlink}p" || exit 1
out=$(online 10); rc=$?
[ "$rc" -eq 0 ] && [ "$(json_get "$out" results/0/sealed)" = true ] &&
  [ "$(json_get "$out" results/0/online/address)" = 10.41.9.57 ] &&
  [ "$(json_get "$out" results/0/online/interface)" = "$tlink" ] &&
  [ "$(json_get "$out" results/0/online/authenticated)" = true ] || fail "--online, sealed ($rc): $out"

# Forged: the unit's hardware address, a token and tag of no join, sent
# from the unit's side over the second link; the unit announces nothing.
devsim_stop
unit sealed --sealed --unit-key "$work/unit.key" || exit 1
ip netns exec "$u" python3 -c '
import socket, sys, time
body = bytes([0x00, 45, 0x84, 0x01]) + bytes.fromhex(sys.argv[1].replace(":", "")) + bytes([10, 41, 9, 57, 1]) + bytes(range(32))
frame = b"\xff" + body + bytes([sum(body) & 0xFF])
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
for _ in range(60):
    s.sendto(frame, ("10.41.9.1", 12345))
    time.sleep(0.1)
' "$mac" &
forger=$!
out=$(online 2 --verbose 2>"$work/err"); rc=$?
[ "$rc" -eq 0 ] && [ "$(json_get "$out" results/0/sealed)" = true ] && [ "$(json_get "$out" results/0/online)" = null ] &&
  grep -qF "ignored a forged online announcement of $mac" "$work/err" ||
  fail "--online, forged ($rc): $out $(grep -v ' request \| reply ' "$work/err")"

if [ "$failed" -ne 0 ]; then
  for f in "$work"/*.log; do echo "--- $f ---"; cat "$f"; done
fi
exit "$failed"
