#!/usr/bin/env bash
# join --unicast never hands the key to another user of this computer: a
# program of another user (uid 65534) bound to 127.0.0.1:1902 answers the
# scan from there, and the unicast to it is not sent (exit 1, the user
# named); the user's own simulated device gets it. A unicast to a broadcast
# or multicast address is refused (exit 2, the address named) and nothing is
# sent.
#
# Usage: run_local_unicast.sh MELVORIN_CLI MELVORIN_DEVSIM
# Exit: 0 passed, 1 failed, 77 skipped (not root, or no setpriv).
set -uo pipefail
cli=${1:?usage: run_local_unicast.sh MELVORIN_CLI MELVORIN_DEVSIM}
devsim=${2:?usage: run_local_unicast.sh MELVORIN_CLI MELVORIN_DEVSIM}

. "$(dirname "${BASH_SOURCE[0]}")/../support/kit.sh"
netns_private run_local_unicast
if [ "$(id -u)" -ne 0 ] || ! command -v setpriv >/dev/null; then
  echo "run_local_unicast: needs root and setpriv to run a device as another user; skipped" >&2
  exit 77
fi

kit_work mlv-unicast

joins_in() { grep -c "request from 127.0.0.1:12345: ff 00 .. 02 00" "$1"; }
join() { echo 12345678 | "$cli" join --key-file - "$@"; }

# The user's own simulated device on this computer takes the unicast.
devsim_start "$work/own.log" "$devsim" --verbose || exit 1
json=$(join --ssid HomeNet --scan-timeout 1 --unicast --json); code=$?
[ "$code" -eq 0 ] && [ "$(json_get "$json" results/address=127.0.0.1/verdict)" = accepted ] ||
  fail "the unicast to the user's own device exited with $code: $json"

for to in 255.255.255.255 127.255.255.255 224.0.0.1; do
  said=$(join --ssid-hex 486f6d654e6574 --device "$to" --unicast 2>&1); code=$?
  [ "$code" -eq 2 ] || fail "a unicast to $to exited with $code: $said"
  grep -qF -- "--unicast: no join request goes to $to: it is" <<<"$said" || fail "the refusal of $to: $said"
done
[ "$(joins_in "$work/own.log")" -eq 1 ] || fail "the device got a join request meant for a broadcast or multicast address"
reply=$(sed -n 's/.*reply to 127.0.0.1:12345: \(ff 00 .. 81 .*\)/\1/p' "$work/own.log" | head -n 1 | tr -d ' ')
devsim_stop

# Another user hears the scan on 255.255.255.255:1902 and answers it, as a
# device would, from a socket bound to 127.0.0.1:1902.
# That user may not read this tree (a clone only root can enter): the program
# is copied where it can.
chmod 711 "$work" && mkdir -m 755 "$work/nobody" &&
  install -m 644 "$(dirname "${BASH_SOURCE[0]}")/../support/scan_answerer.py" "$work/nobody/" || exit 1
devsim_start "$work/nobody.err" setpriv --reuid 65534 --regid 65534 --clear-groups \
  /usr/bin/python3 "$work/nobody/scan_answerer.py" 255.255.255.255 127.0.0.1 "$reply" \
  >"$work/nobody.out" || exit 1
said=$(join --ssid HomeNet --scan-timeout 1 --unicast 2>&1); code=$?
[ "$code" -eq 1 ] || fail "the unicast to another user's program on this computer exited with $code: $said"
grep -qF "nothing was sent: 127.0.0.1 is this computer, and a program of nobody (uid 65534) is bound to UDP port 1902" \
  <<<"$said" || fail "the refusal: $said"
grep -q '^ff000101' "$work/nobody.out" || fail "the other user's program did not even get the scan: the check proves nothing"
! grep -q '^ff00..02' "$work/nobody.out" || fail "the other user's program got the join request"

exit "$failed"
