#!/usr/bin/env bash
# What a blind user hears: Orca, the screen reader, beside the real window
# and melvorin-devsim, the window driven from the keyboard alone. The device
# sits on a link of its own with a set hardware address, as a module on a
# station's Wi-Fi adapter does. Orca runs on a private session bus with its
# own accessibility bus, on an X server of this run, with default
# preferences; every utterance is a line "SPEECH OUTPUT: '...'" of its debug
# file. Checked: the status line is spoken after the start-up list (naming
# the unit by its hardware address and maker), after a join's result (once
# the notice box, read first, is closed) and when no device answered, each
# line once; both edit boxes are read whole, and a character typed into the
# key box is heard and read back.
#
# Everything but the X server runs in a PID namespace of its own, so that
# Orca sees no other Orca and nothing it starts (speech-dispatcher, the
# accessibility bus) outlives the run.
#
# Usage: run_orca.sh MELVORIN DEVSIM
# Exit: 0 when all was heard; 1 on a failure or when Orca, at-spi2-core,
#       dbus, Xvfb or xdotool are missing (scripts/setup installs them); 77
#       (skipped) without root, which the namespaces need.
set -uo pipefail
melvorin=${1:?usage: run_orca.sh MELVORIN DEVSIM}
devsim=${2:?usage: run_orca.sh MELVORIN DEVSIM}
launcher=/usr/libexec/at-spi-bus-launcher
. "$(dirname "${BASH_SOURCE[0]}")/../support/kit.sh"
# What Orca has said so far in this run's folder, one utterance a line.
spoken() { sed -n "s/.* SPEECH OUTPUT: '\(.*\)' *{.*/\1/p" "$work/orca.debug" 2>/dev/null; }

if [ "${MELVORIN_ORCA_INSIDE:-}" != 1 ]; then
  netns_private run_orca
  for tool in orca dbus-run-session Xvfb xdotool unshare ip "$launcher"; do
    command -v "$tool" >/dev/null || { echo "run_orca: $tool is missing; run scripts/setup" >&2; exit 1; }
  done
  [ "$(id -u)" -eq 0 ] || { echo "run_orca: needs root for its PID namespace; skipped" >&2; exit 77; }
  work=$(mktemp -d /tmp/mlv-orca.XXXXXX)
  xvfb=
  device_ns=mlv-orca-$$
  cleanup() {
    # Asked to stop, the X server removes its socket and lock file.
    [ -n "$xvfb" ] && kill -TERM "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
    netns_remove "$device_ns" -- mlvwlan0
    rm -rf "$work"
  }
  trap cleanup EXIT
  trap 'exit 130' INT TERM
  # The device's namespace, joined to this one's mlvwlan0 (192.168.4.2) by a
  # veth pair whose far end (192.168.4.1) has an Espressif hardware address.
  # The device answers a scan by unicast, so it first asks for the station's
  # hardware address by ARP, and that request puts its own into the station's
  # neighbour table.
  if ! ip netns add "$device_ns" || ! netns_veth mlvwlan0 "$device_ns" wlan0 192.168.4.1 "" "" 192.168.4.2 ||
    ! ip -n "$device_ns" link set wlan0 address 24:6f:28:00:00:01; then
    echo "run_orca: could not make the device's link" >&2
    exit 1
  fi
  exec {displayfd}>"$work/display"
  Xvfb -displayfd "$displayfd" -screen 0 800x600x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
  xvfb=$!
  exec {displayfd}>&-
  for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
  [ -s "$work/display" ] || { echo "run_orca: Xvfb did not start" >&2; cat "$work/xvfb.log" >&2; exit 1; }
  MELVORIN_ORCA_INSIDE=1 DISPLAY=:$(cat "$work/display") MELVORIN_ORCA_WORK=$work MELVORIN_ORCA_DEVICE_NS=$device_ns \
    timeout 200 unshare --pid --fork --kill-child --mount-proc dbus-run-session -- bash "$0" "$@"
  status=$?
  echo "--- what Orca said ---"
  spoken
  exit "$status"
fi

# ---- inside: own PID namespace and session bus ----------------------------
work=$MELVORIN_ORCA_WORK
# Never a desktop's own accessibility bus.
unset AT_SPI_BUS_ADDRESS
export HOME=$work XDG_RUNTIME_DIR=$work/runtime XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data \
  XDG_CACHE_HOME=$work/cache GSETTINGS_BACKEND=memory QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 LANG=C.UTF-8 LC_ALL=C.UTF-8 LANGUAGE=
mkdir -m 700 -p "$XDG_RUNTIME_DIR" "$work/prefs"

"$launcher" --launch-immediately --a11y=1 >"$work/bus.log" 2>&1 &
# Orca started as its own script starts it, by the interpreter its first
# line names, but with its debug file written line by line, so that each step
# can wait for what it should hear.
orca_script=$(command -v orca)
"$(sed -n '1s/^#! *//p' "$orca_script")" -c '
import builtins, runpy, sys
debug_file = sys.argv[sys.argv.index("--debug-file") + 1]
plain_open = builtins.open
def line_buffered(file, mode="r", *args, **kwargs):
    return plain_open(file, mode, 1) if file == debug_file else plain_open(file, mode, *args, **kwargs)
builtins.open = line_buffered
sys.argv.pop(0)
runpy.run_path(sys.argv[0], run_name="__main__")' "$orca_script" -u "$work/prefs" --debug-file "$work/orca.debug" >"$work/orca.log" 2>&1 &
orca=$!

failures=0
# heard TEXT...: waits up to 15 s until Orca has said the TEXTs one after
# the other.
heard() {
  local want
  want=$(printf '%s\n' "$@")
  for _ in $(seq 150); do
    [[ "$(spoken)"$'\n' == *"$want"* ]] && return 0
    sleep 0.1
  done
  echo "FAIL: Orca did not say: $*" >&2
  failures=$((failures + 1))
  return 1
}
key() { xdotool key "$1"; }
window() { xdotool search --sync --onlyvisible --name '^Melvorin$' windowfocus --sync >/dev/null; }

# The status line's outcomes, as Orca says them.
listed="4 networks from the device at 192.168.4.1 (24:6f:28:00:00:01, Espressif Inc.) on mlvwlan0."
answered="The device answered the join request for “办公室WiFi”, sent in clear: 提交成功，请检查设备状态."
silence="No device answered the scan on mlvwlan0. Is this computer on the device's network or connected to its access point?"

heard "Screen reader on." || { cat "$work/orca.log" >&2; exit 1; }
devsim_start "$work/devsim.log" ip netns exec "$MELVORIN_ORCA_DEVICE_NS" "$devsim" --verbose || exit 1
"$melvorin" >"$work/melvorin.log" 2>&1 &
app=$!
window

# Start-up: the window, the focus on the scan button, then the list.
heard "Melvorin." "重获SSID push button."
heard "$listed"
# The key box and the list; a join of the first row.
key Tab && heard "Key text." "12345678 selected."
# What is typed into it is heard, and read back from the box.
key End && heard "Text unselected."
# (Orca reads the caret's move only once it has taken in the insertion.)
key 9 && heard "9 " && sleep 1
key Left && heard "9 " "9"
key Tab && heard "Networks." "table with 4 rows 2 columns."
key Down && heard "办公室WiFi."
key Return && heard "alert melvorin." "提交成功，请检查设备状态."
# No window manager gives the window the focus back once the box has closed
# (names match whatever their case: the window and the box are two).
key Return
for _ in $(seq 100); do [ "$(xdotool search --onlyvisible --name '^melvorin$' | wc -l)" -gt 1 ] || break; sleep 0.1; done
window
heard "$answered"
# The search-port box; then a scan that no device answers.
key Tab && heard "搜索端口 text." "1902 selected."
kill "$devsim_pid"
key Tab && heard "重获SSID push button."
key space && heard "$silence"

kill -TERM "$app" "$orca"
wait "$orca" 2>/dev/null

# Each line was said once, the status line's answer after the notice box.
for line in "$listed" "提交成功，请检查设备状态." "$answered" "$silence"; do
  count=$(spoken | grep -cxF "$line")
  [ "$count" -eq 1 ] || { echo "FAIL: said $count times: $line" >&2; failures=$((failures + 1)); }
done
spoken | grep -xF -e "alert melvorin." -e "$answered" | head -1 | grep -qxF "alert melvorin." ||
  { echo "FAIL: the status line did not wait for the notice box" >&2; failures=$((failures + 1)); }
[ "$failures" -eq 0 ]
