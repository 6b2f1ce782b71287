#!/usr/bin/env bash
# The key in the running program. A join waiting for its key, run as an
# unprivileged user (uid 65534), is not dumpable: its /proc files are root's
# and another program of that user cannot read its environment. At the
# no-echo prompt in a terminal (a tmux pane), Ctrl+Z and `fg` leave echo off:
# what is typed next never shows.
#
# Usage: run_key_process.sh MELVORIN_CLI
# Exit: 0 passed, 1 failed, 77 skipped (no root, setpriv or tmux).
set -uo pipefail
cli=${1:?usage: run_key_process.sh MELVORIN_CLI}

. "$(dirname "${BASH_SOURCE[0]}")/../support/kit.sh"
netns_preflight run_key_process
for tool in setpriv tmux; do
  command -v "$tool" >/dev/null || { echo "run_key_process: needs $tool; skipped" >&2; exit 77; }
done

work=$(mktemp -d /tmp/mlv-keyproc.XXXXXX)
sock=$work/tmux.sock
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill -KILL "$pid" 2>/dev/null; done
  [ -S "$sock" ] && tmux -S "$sock" kill-server 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
# The other user must reach the program.
chmod 755 "$work" && cp "$cli" "$work/melvorin-cli" && chmod 755 "$work/melvorin-cli" || exit 1

failed=0
fail() { echo "run_key_process: $*" >&2; failed=1; }
as_nobody() { setpriv --reuid 65534 --regid 65534 --clear-groups "$@"; }
# wait_for TENTHS COMMAND...: until COMMAND succeeds, at most TENTHS tenths of a second.
wait_for() {
  local tries=$1
  shift
  until "$@"; do
    tries=$((tries - 1))
    [ "$tries" -gt 0 ] || return 1
    sleep 0.1
  done
}
reading() { [ "$(cut -d' ' -f1 "/proc/$1/syscall" 2>/dev/null)" = 0 ]; }  # blocked in read(2)

# --- Not dumpable while it waits for the key; the probe proven on a plain program first.
# The key's pipe: held open here, so the join waits.
mkfifo "$work/key" && exec 3<>"$work/key" || exit 1
setpriv --reuid 65534 --regid 65534 --clear-groups sleep 60 &
plain=$!
pids+=("$plain")
# (The sanitizers' suppression files may be where that user cannot read them.)
env -u LSAN_OPTIONS -u TSAN_OPTIONS \
  setpriv --reuid 65534 --regid 65534 --clear-groups "$work/melvorin-cli" join --ssid HomeNet --key-file - <&3 &
join=$!
pids+=("$join")
runs_as_nobody() { [ "$(awk '/^Uid:/ { print $2 }' "/proc/$1/status" 2>/dev/null)" = 65534 ]; }
wait_for 100 runs_as_nobody "$plain" || fail "the plain program does not run as uid 65534"
wait_for 100 reading "$join" || fail "the join never waited for its key"
runs_as_nobody "$join" || fail "the join does not run as uid 65534"
[ "$(stat -c %u "/proc/$plain/status")" = 65534 ] || fail "a plain program's /proc files are not its user's: the probe proves nothing"
as_nobody cat "/proc/$plain/environ" >/dev/null || fail "the same user cannot read a plain program's environment: the probe proves nothing"
[ "$(stat -c %u "/proc/$join/status")" = 0 ] || fail "the waiting join's /proc files are not root's: it is dumpable"
as_nobody cat "/proc/$join/environ" >/dev/null 2>&1 && fail "another program of the same user read the join's environment"
{ kill -KILL "$join" "$plain" && wait "$join" "$plain"; } 2>/dev/null
exec 3>&-

# --- Ctrl+Z at the prompt, then fg: echo is off again before anything is typed.
tmux -S "$sock" -f /dev/null new-session -d -x 160 -y 40 \
  "env -i PATH=/usr/bin:/bin TERM=screen HISTFILE=/dev/null PS1='ready> ' bash --norc --noprofile -i" || exit 1
pane() { tmux -S "$sock" capture-pane -p -S -200 -t 0; }
shows() { pane | grep -qF -- "$1"; }
keys() { tmux -S "$sock" send-keys -t 0 "$@"; }
shell=$(tmux -S "$sock" display -p -t 0 '#{pane_pid}')
typed=typed-secret-9x7
wait_for 100 shows 'ready>' || fail "no shell prompt in the pane"
keys "$work/melvorin-cli join --ssid HomeNet --scan-timeout 0.3" Enter
wait_for 100 shows "Key:" || fail "no key prompt"
prompt=$(cat "/proc/$shell/task/$shell/children" 2>/dev/null | awk '{ print $1 }')
[ -n "$prompt" ] || fail "the join is not the shell's child"
keys C-z
wait_for 100 shows "Stopped" || fail "Ctrl+Z did not stop the join"
keys fg Enter
# Running again once it is back in its read of the key (SIGCONT handled).
wait_for 100 reading "$prompt" || fail "the join did not go back to reading the key after fg"
wait_for 20 test "$(cut -d' ' -f3 "/proc/$prompt/stat" 2>/dev/null)" = S
keys "$typed"
sleep 0.3
keys Enter
wait_for 100 shows "no device answered the scan" || fail "the join did not go on with the typed key"
shows "$typed" && fail "what was typed after Ctrl+Z and fg showed in the terminal"
[ "$failed" -eq 0 ] || { echo "--- pane ---"; pane; }
exit "$failed"
