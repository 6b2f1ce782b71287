#!/usr/bin/env bash
# join --watch keeps the key in its owner alone: once a unit's join has ended,
# the program's memory (read as root through /proc/PID/mem, the program
# stopped) holds the key twice, as the owner's text and as its code page 936
# bytes, and nowhere else: no join request, no copy in memory given back. A
# simulated device on loopback.
# Usage: run_key_memory.sh MELVORIN_CLI MELVORIN_DEVSIM
# Exit: 0 passed, 1 failed, 77 skipped (not root, or no python3).
set -uo pipefail
cli=${1:?usage: run_key_memory.sh MELVORIN_CLI MELVORIN_DEVSIM}
devsim=${2:?usage: run_key_memory.sh MELVORIN_CLI MELVORIN_DEVSIM}

. "$(dirname "${BASH_SOURCE[0]}")/../support/kit.sh"
netns_private run_key_memory
if [ "$(id -u)" -ne 0 ] || ! command -v python3 >/dev/null; then
  echo "run_key_memory: needs root (the join is not dumpable) and python3; skipped" >&2
  exit 77
fi

kit_work mlv-key-memory
# Long, so that a copy whose start the allocator wrote over is found by its end.
key=Wipe-me-once-joined-7Q4v-0d2c-91ab-6e3f-5b80-Kz tail=0d2c-91ab-6e3f-5b80-Kz
(umask 077; printf '%s\n' "$key" >"$work/key")

# copies PID: how often the key's end is in the readable memory of PID.
copies() {
  python3 - "$1" "$tail" <<'EOF'
import sys
pid, tail, found = sys.argv[1], sys.argv[2].encode(), 0
with open(f"/proc/{pid}/maps") as maps, open(f"/proc/{pid}/mem", "rb", 0) as mem:
    for line in maps:
        span, perms = line.split()[:2]
        low, high = (int(x, 16) for x in span.split("-"))
        if perms[0] != "r":
            continue
        try:
            mem.seek(low)
            found += mem.read(high - low).count(tail)
        except (OSError, OverflowError):
            pass  # [vvar] and the like
print(found)
EOF
}

devsim_start "$work/device.log" "$devsim" --devices 1 --first-address 127.0.1.1 || exit 1
"$cli" join --watch --ssid HomeNet --key-file "$work/key" >"$work/out" 2>"$work/err" &
watcher=$!
trap 'kill -KILL "$watcher" 2>/dev/null; devsim_stop; rm -rf "$work"' EXIT
for _ in $(seq 200); do grep -q accepted "$work/out" && break; sleep 0.1; done
grep -q accepted "$work/out" || fail "no join was accepted: $(cat "$work/out" "$work/err")"

# A request for a unit that answers the scan is built and dropped each
# second: a stop in that moment is looked at again.
for _ in 1 2 3; do
  kill -STOP "$watcher" && found=$(copies "$watcher"); kill -CONT "$watcher"
  [ "$found" -gt 2 ] || break
  sleep 0.3
done
[ "$found" -ge 2 ] || fail "the key's owner holds the key $found times: the memory was not read"
[ "$found" -le 2 ] || fail "the key is in the join's memory $found times, not only in its owner"

kill -INT "$watcher" && wait "$watcher"
code=$?
[ "$code" -eq 0 ] || fail "join --watch exited with $code: $(cat "$work/err")"
exit "$failed"
