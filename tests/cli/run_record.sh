#!/usr/bin/env bash
# The record of join --record keeps every trace and follows no planted link:
# a symbolic link and, for root, another user's file are refused before
# anything is sent; a run stopped by SIGTERM after sending has a line for the
# unit that answered and a no_result line for the one that did not; a lock
# held by another program is waited for a few seconds only, and SIGTERM ends
# that wait too. A simulated device that answers, and one that answers the
# scan only, on loopback.
#
# Usage: run_record.sh MELVORIN_CLI MELVORIN_DEVSIM
# Exit: 0 passed, 1 failed, 77 skipped (not root, or no flock).
set -uo pipefail
cli=${1:?usage: run_record.sh MELVORIN_CLI MELVORIN_DEVSIM}
devsim=${2:?usage: run_record.sh MELVORIN_CLI MELVORIN_DEVSIM}

. "$(dirname "${BASH_SOURCE[0]}")/../support/kit.sh"
netns_private run_record
if [ "$(id -u)" -ne 0 ] || ! command -v flock >/dev/null; then
  echo "run_record: needs root (another user's file) and flock; skipped" >&2
  exit 77
fi

kit_work mlv-record

joins_at_device() { grep -c "request from 127.0.0.1:12345: ff 00 .. 02 00" "$work/device.log"; }
# wait_for COMMAND...: until it succeeds, at most 10 s.
wait_for() {
  local tries=100
  until "$@"; do
    tries=$((tries - 1))
    [ "$tries" -gt 0 ] || return 1
    sleep 0.1
  done
}
(umask 077; echo 12345678 >"$work/key")
join=("$cli" join --ssid HomeNet --key-file "$work/key" --scan-timeout 1)

devsim_start "$work/device.log" "$devsim" --devices 1 --first-address 127.0.1.1 --verbose || exit 1

# A planted link: refused, what it points to untouched, nothing sent.
echo "keep" >"$work/target"
ln -s "$work/target" "$work/link.jsonl"
said=$("${join[@]}" --record "$work/link.jsonl" 2>&1); code=$?
[ "$code" -eq 2 ] || fail "a symbolic link as the record exited with $code: $said"
grep -qF "\"$work/link.jsonl\": it is a symbolic link" <<<"$said" || fail "the refusal of the link: $said"
[ "$(cat "$work/target")" = keep ] || fail "the link's target was written to"

# Root appending to another user's file: refused.
: >"$work/theirs.jsonl" && chown 65534 "$work/theirs.jsonl"
said=$("${join[@]}" --record "$work/theirs.jsonl" 2>&1); code=$?
[ "$code" -eq 2 ] || fail "another user's record file exited with $code: $said"
grep -qF "belongs to another user (uid 65534)" <<<"$said" || fail "the refusal of another user's file: $said"
[ "$(joins_at_device)" -eq 0 ] || fail "a join request went out although the record was refused"

# A second unit that answers the scan as the device does (its own reply,
# replayed from 127.0.1.2) and never sends a result.
"$cli" scan --timeout 1 >/dev/null
reply=$(sed -n 's/.*reply to 127.0.0.1:12345: \(ff 00 .. 81 .*\)/\1/p' "$work/device.log" | head -n 1 | tr -d ' ')
[ -n "$reply" ] || { fail "the device's list reply is not in its log"; exit 1; }
devsim_start "$work/silent.log" /usr/bin/python3 "$(dirname "${BASH_SOURCE[0]}")/../support/scan_answerer.py" \
  0.0.0.0 127.0.1.2 "$reply" || exit 1

# Stopped after sending: the answered unit's line is in the record before
# the signal; the silent unit's no_result line comes with it.
record=$work/units.jsonl
(umask 022; exec "${join[@]}" --record "$record" --timeout 60 --retries 0 --json >"$work/stopped.json" 2>"$work/stopped.err") &
run=$!
wait_for grep -q '"verdict": "accepted"' "$record" 2>/dev/null || fail "no line for the answered unit while the run goes on"
kill -TERM "$run"
wait "$run"; code=$?
[ "$code" -eq 3 ] || fail "the stopped run exited with $code: $(cat "$work/stopped.err")"
lines=$(jq -sc 'map({address, verdict})' "$record")
[ "$lines" = '[{"address":"127.0.1.1","verdict":"accepted"},{"address":"127.0.1.2","verdict":"no_result"}]' ] ||
  fail "the stopped run's record: $lines"
[ "$(json_get "$(cat "$work/stopped.json")" results/address=127.0.1.2/verdict)" = no_result ] ||
  fail "the stopped run's summary: $(cat "$work/stopped.json")"
[ "$(stat -c %a "$record")" = 640 ] || fail "the record was created with mode $(stat -c %a "$record"), not 0640"

# Another program holds the lock (this shell, on descriptor 9): given up
# after a few seconds, the file named.
exec 9<"$record"
flock 9 || fail "flock did not take the lock"
said=$("${join[@]}" --device 127.0.1.1 --record "$record" 2>&1 >/dev/null 9<&-); code=$?
[ "$code" -eq 1 ] || fail "a held lock: exit $code: $said"
grep -qF "another melvorin-cli holds \"$record\"" <<<"$said" || fail "a held lock: $said"

# SIGTERM while waiting for it ends the run.
sent=$(joins_at_device)
"${join[@]}" --device 127.0.1.1 --record "$record" >/dev/null 2>"$work/held.err" 9<&- &
run=$!
joined() { [ "$(joins_at_device)" -gt "$sent" ]; }
wait_for joined || fail "the device got no join request while the lock was held"
kill -TERM "$run"
wait "$run"; code=$?
[ "$code" -eq 1 ] || fail "SIGTERM in the lock wait: exit $code: $(cat "$work/held.err")"
grep -qF "stopped while waiting for the lock of the record file \"$record\"" "$work/held.err" ||
  fail "SIGTERM in the lock wait: $(cat "$work/held.err")"
[ "$(wc -l <"$record")" -eq 2 ] || fail "lines were written while another program held the lock"
exec 9<&-

[ "$failed" -eq 0 ] || { echo "--- device ---"; cat "$work/device.log"; }
exit "$failed"
