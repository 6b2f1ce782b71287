#!/usr/bin/env bash
# A join waiting for its key as uid 65534 is not dumpable (its /proc files are
# root's, that user cannot read its environment), and at the no-echo prompt in
# a tmux pane, Ctrl+Z and `fg` leave echo off. Needs root, setpriv and tmux.
# Usage: run_key_process.sh MELVORIN_CLI. Exit: 0 passed, 1 failed, 77 skipped.
set -uo pipefail
cli=${1:?usage: run_key_process.sh MELVORIN_CLI}
. "$(dirname "${BASH_SOURCE[0]}")/../support/kit.sh"
netns_preflight run_key_process
command -v setpriv >/dev/null && command -v tmux >/dev/null || { echo "run_key_process: needs setpriv and tmux; skipped" >&2; exit 77; }

work=$(mktemp -d /tmp/mlv-keyproc.XXXXXX) sock=/dev/null pids=()
trap 'kill -KILL "${pids[@]}" 2>/dev/null; tmux -S "$sock" kill-server 2>/dev/null; rm -rf "$work"' EXIT
trap 'exit 130' INT TERM
chmod 755 "$work" && cp "$cli" "$work/melvorin-cli" && chmod 755 "$work/melvorin-cli" || exit 1
failed=0
fail() { echo "run_key_process: $*" >&2; failed=1; }
as_nobody() { setpriv --reuid 65534 --regid 65534 --clear-groups "$@"; }
wait_for() { local t=$1; shift; until "$@"; do t=$((t - 1)); [ "$t" -gt 0 ] || return 1; sleep 0.1; done; }
reading() { [ "$(cut -d' ' -f1 "/proc/$1/syscall" 2>/dev/null)" = 0 ]; }  # blocked in read(2)
owner() { stat -c %u "/proc/$1/status"; }

# A plain program proves the probe; the join waits on a pipe held open here.
mkfifo "$work/key" && exec 3<>"$work/key" || exit 1
setpriv --reuid 65534 --regid 65534 --clear-groups sleep 60 & plain=$!
# (The sanitizers' suppression files may be where that user cannot read them.)
env -u LSAN_OPTIONS -u TSAN_OPTIONS setpriv --reuid 65534 --regid 65534 --clear-groups \
  "$work/melvorin-cli" join --ssid HomeNet --key-file - <&3 & join=$!
pids=("$plain" "$join")
wait_for 100 reading "$join" || fail "the join never waited for its key"
[ "$(owner "$plain")" = 65534 ] && as_nobody cat "/proc/$plain/environ" >/dev/null ||
  fail "a plain program of uid 65534 is not open to that user: the probe proves nothing"
[ "$(owner "$join")" = 0 ] || fail "the waiting join's /proc files are not root's: it is dumpable"
as_nobody cat "/proc/$join/environ" >/dev/null 2>&1 && fail "another program of the same user read the join's environment"
{ kill -KILL "$join" "$plain" && wait "$join" "$plain"; } 2>/dev/null
exec 3>&-

sock=$work/tmux.sock typed=typed-secret-9x7
tmux -S "$sock" -f /dev/null new-session -d -x 160 -y 40 \
  "env -i PATH=/usr/bin:/bin TERM=screen HISTFILE=/dev/null PS1='ready> ' bash --norc --noprofile -i" || exit 1
pane() { tmux -S "$sock" capture-pane -p -S -200 -t 0; }
shows() { pane | grep -qF -- "$1"; }; keys() { tmux -S "$sock" send-keys -t 0 "$@"; }
shell=$(tmux -S "$sock" display -p -t 0 '#{pane_pid}')
wait_for 100 shows 'ready>' || fail "no shell prompt in the pane"
keys "$work/melvorin-cli join --ssid HomeNet --scan-timeout 0.3" Enter
wait_for 100 shows "Key:" || fail "no key prompt"
prompt=$(cut -d' ' -f1 "/proc/$shell/task/$shell/children")
keys C-z
wait_for 100 shows "Stopped" || fail "Ctrl+Z did not stop the join"
keys fg Enter
# Typed once it is back in its read of the key, SIGCONT handled.
wait_for 100 reading "$prompt" || fail "the join did not read the key again after fg"
keys "$typed" && sleep 0.3 && keys Enter
wait_for 100 shows "no device answered the scan" || fail "the join did not go on with the typed key"
shows "$typed" && fail "what was typed after Ctrl+Z and fg showed in the terminal"
[ "$failed" -eq 0 ] || { echo "--- pane ---"; pane; }
exit "$failed"
