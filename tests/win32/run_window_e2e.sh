#!/usr/bin/env bash
# melvorin.exe under Wine on a private X server against the Linux
# melvorin-devsim, driven as a user drives it: the start-up scan reaches the
# device, its list is shown (the second row is where the layout puts it),
# a double-click on that row sends the exact join request, and the device's
# verdict opens the notice box (captioned with the application title), which
# Enter closes, and Esc the next one. A screen reader's calls read the names
# of the boxes, the button and the list, and hear the status line's changes.
# Closing the window ends the program. Run inside a private network
# namespace (CTest's, scripts/in-netns): Wine's prefix (X11 driver) and its
# wineserver are made here, the X server listens on a unix socket only.
#
# With "sealed", the device offers the sealed join: the double-click sends
# it sealed, and the status line says so.
#
# Usage: run_window_e2e.sh MELVORIN_EXE PREFIX DEVSIM MSAA_NAMES_EXE [sealed]
set -euo pipefail
exe="$1" prefix="$2" devsim="$3" msaa="$4" way="${5:-in clear}"
here="$(cd "$(dirname "$0")" && pwd)"
wine_run="$here/../../scripts/wine-run"
. "$here/../support/kit.sh"
work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  devsim_stop
  bash "$wine_run" --stop "$prefix" || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "run_window_e2e: $*" >&2; cat "$work/devsim.log" >&2; exit 1; }
wait_for() {  # seconds, command...
  local n=$(($1 * 10)); shift
  for _ in $(seq "$n"); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
  return 1
}

# The visible X window named exactly $1 (xdotool's search ignores case),
# not the application's window that the task bar shows (Wine maps it as a
# single pixel: it is never seen).
named() {
  local w
  for w in $(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null); do
    [ "$(xdotool getwindowname "$w")" = "$1" ] || continue
    xdotool getwindowgeometry "$w" | grep -q 'Geometry: 1x1$' || echo "$w"
  done
  return 0
}
shown() { [ -n "$(named "$1")" ]; }
gone() { [ -z "$(named "$1")" ]; }

display=:$((20 + $$ % 50))
Xvfb "$display" -screen 0 640x640x24 -nolisten tcp -nolisten local >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display
wait_for 10 xdpyinfo || fail "Xvfb did not start"
bash "$wine_run" --new "$prefix"

sealed=() list='ff 00 35 81 04'
join='ff 00 16 02 00 b0 ec b9 ab ca d2 57 69 46 69 0d 0a 31 32 33 34 35 36 37 38 de'
if [ "$way" = sealed ]; then
  # The list reply carries the 90 bytes of the offer; the join opens as
  # command 03 (its bytes differ every time).
  sealed=(--sealed --unit-key "$work/unit.key") list='ff 00 8f 81 04' join='ff 00 87 03 01 .*'
fi
# The pins the window keeps are the run's own.
export XDG_STATE_HOME=$work/state
devsim_start "$work/devsim.log" "$devsim" --verbose --show-secrets "${sealed[@]}" || exit 1
bash "$wine_run" "$prefix" "$exe" >/dev/null 2>&1 &
pids+=($!)
program=$!

wait_for 60 shown Melvorin || fail "no window"
window=$(named Melvorin | head -1)
# The task bar's window, titled with the program file's name, never seen.
app=
for w in $(xdotool search --onlyvisible --name '^melvorin$' 2>/dev/null); do
  [ "$(xdotool getwindowname "$w")" = melvorin ] && xdotool getwindowgeometry "$w" | grep -q 'Geometry: 1x1$' && app=$w
done
[ -n "$app" ] || fail "no application window titled melvorin"
wait_for 10 grep -q 'request from 127.0.0.1:12345: ff 00 01 01 02$' "$work/devsim.log" || fail "no scan at start"
wait_for 10 grep -q "reply to 127.0.0.1:12345: $list" "$work/devsim.log" || fail "no list reply"
sleep 1
# What a screen reader is given (msaa_names, a client of Wine's oleacc):
# the edit boxes named by their captions, the button and the list by their
# texts; pressing the scan button, the status line's change is announced
# (a live region) and its name is the new line.
bash "$wine_run" "$prefix" "$msaa" 2>/dev/null | tr -d '\r' >"$work/msaa.txt" || fail "msaa_names failed"
cat "$work/msaa.txt"
said() { grep -qxP "$1" "$work/msaa.txt" || fail "msaa_names: no line $1"; }
said 'child\ttext\tKey'
said 'child\ttext\t搜索端口'
said 'child\t[^\t]*\t重获SSID'
said 'child\t[^\t]*\tNetworks'
said 'live\t\d+ networks from the device at 127\.0\.0\.1 on .*\.'
# The client area is the X window. The second row (办公室WiFi): the list's
# top (130), its header and one row down, within the first 20 pixels.
xdotool mousemove --window "$window" 100 186 click --repeat 2 --delay 80 1
wait_for 10 grep -q "request from 127.0.0.1:12345: $join$" "$work/devsim.log" || fail "no join request for 办公室WiFi"
grep -q "ignored" "$work/devsim.log" && fail "the device ignored a datagram"
wait_for 10 shown melvorin || fail "no notice box"
# Its OK button, focused, answers Enter; the next join's notice answers Esc.
# (Wine takes about two seconds to close the box, whether by key or mouse.)
xdotool key Return
wait_for 10 gone melvorin || fail "Enter did not close the notice"
# The status line, as a screen reader reads it, says how the join went.
bash "$wine_run" "$prefix" "$msaa" 2>/dev/null | tr -d '\r' >"$work/msaa.txt" || fail "msaa_names failed"
said "child\t[^\t]*\tThe device answered the join request for “办公室WiFi”, sent $way: 提交成功，请检查设备状态\.?"
xdotool mousemove --window "$window" 100 186 click --repeat 2 --delay 80 1
wait_for 10 shown melvorin || fail "no notice box for the second join"
xdotool key Escape
wait_for 10 gone melvorin || fail "Esc did not close the notice"
# Alt+F4 closes the window (a click into it first gives it the focus).
xdotool mousemove --window "$window" 5 5 click 1
xdotool key alt+F4
wait_for 20 bash -c "! kill -0 $program" || fail "the program did not end after closing its window"
echo "run_window_e2e: scan, list, names and status line for a screen reader, double-click join and notice (Enter, Esc) under Wine"
