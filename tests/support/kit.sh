# shellcheck shell=bash
# The test scripts' kit: simulated devices started and waited for, fields
# read from melvorin-cli's JSON, and the namespace functions of netns.sh.
# Source it; bash only.

. "$(dirname "${BASH_SOURCE[0]}")/netns.sh"

# The name the messages start with: the sourcing script's, without ".sh".
kit_name=${0##*/}
kit_name=${kit_name%.sh}

# devsim_start LOG COMMAND...: starts COMMAND (melvorin-devsim, perhaps
# behind `ip netns exec NS`) in the background with its standard error in
# LOG, and waits up to $devsim_wait seconds (default 10) until it says it is
# listening. Its process id is left in $devsim_pid and added to the array
# devsim_pids. Returns 0 once it listens; otherwise shows LOG on standard
# error and returns 1, or the device's exit status when it ended before.
devsim_start() {
  local log=$1 tries status
  shift
  "$@" 2>"$log" &
  devsim_pid=$!
  devsim_pids+=("$devsim_pid")
  tries=$((${devsim_wait:-10} * 10))
  until grep -q "listening on port" "$log"; do
    if ! kill -0 "$devsim_pid" 2>/dev/null; then
      grep -q "listening on port" "$log" && return 0
      status=0
      wait "$devsim_pid" || status=$?
      echo "$kit_name: $* ended with status $status before it was ready; its log:" >&2
      cat "$log" >&2
      [ "$status" -ne 0 ] || status=1
      return "$status"
    fi
    if [ "$tries" -le 0 ]; then
      echo "$kit_name: $* was not ready after ${devsim_wait:-10} s; its log:" >&2
      cat "$log" >&2
      return 1
    fi
    tries=$((tries - 1))
    sleep 0.1
  done
}

# devsim_in NS LOG OUT COMMAND...: devsim_start of COMMAND in network
# namespace NS, its standard output in OUT.
devsim_in() {
  local ns=$1 log=$2 out=$3
  shift 3
  devsim_start "$log" bash -c 'out=$1; shift; exec "$@" >"$out"' - "$out" ip netns exec "$ns" "$@"
}

# label_code OUT: the label code a sealed melvorin-devsim printed to OUT
# (waited for up to 2 s); nothing when it printed none.
label_code() {
  for _ in $(seq 20); do grep -q "^label code: " "$1" && break; sleep 0.1; done
  sed -n 's/^label code: //p' "$1"
}

# devsim_stop: stops every device devsim_start started and waits for them.
devsim_stop() {
  local pid alive=()
  # A device that kill cannot reach was reaped already (it stopped on a
  # Ctrl+C, say); bash 5.2 can then block in wait until some other child
  # ends, so only the others are waited for.
  for pid in "${devsim_pids[@]}"; do kill -TERM "$pid" 2>/dev/null && alive+=("$pid"); done
  for pid in "${alive[@]}"; do wait "$pid" 2>/dev/null || :; done
  devsim_pids=()
  return 0
}
devsim_pids=()

# json_get JSON PATH: prints what PATH names in the text JSON, one value a
# line: a string as it is, anything else as compact JSON (null, 3, true,
# {"a":1}). PATH is parts joined by "/", each applied to every value so far:
# a key of an object, an index of an array, "*" for every element of an
# array, or KEY=VALUE for the elements of an array that are objects whose KEY
# has the value VALUE (a string, or a number or the like as JSON writes it).
# "" names the whole. Returns 1 when nothing matched, and says why when
# JSON is no JSON or a key or index is missing.
#   json_get "$scan" devices/address=10.0.0.2/networks/0/ssid
#   json_get "$join" 'results/verdict=accepted' | wc -l
json_get() {
  jq -er --arg path "$2" '
    def text: if type == "string" then . else tojson end;
    def step($part):
      if type == "array" and $part == "*" then .[]
      elif type == "array" and ($part | contains("=")) then
        ($part | index("=")) as $at | $part[:$at] as $key | $part[$at + 1:] as $want
        | .[] | select(type == "object" and has($key) and (.[$key] | text) == $want)
      elif type == "object" and has($part) then .[$part]
      elif type == "array" and ($part | test("^[0-9]+$")) and ($part | tonumber) < length then .[$part | tonumber]
      else error("json_get: no \($part | tojson) of \($path | tojson) in \(tojson | .[:300])")
      end;
    def follow($parts): if $parts == [] then . else step($parts[0]) | follow($parts[1:]) end;
    follow($path | split("/") | map(select(. != ""))) | text' <<<"$1" || {
    jq -e . <<<"$1" >/dev/null 2>&1 || echo "json_get: not JSON: ${1:0:300}" >&2
    return 1
  }
}

# kit_work PREFIX: makes a fresh folder /tmp/PREFIX.XXXXXX, named in $work;
# on exit the devices devsim_start started are stopped and it is removed.
# `fail MESSAGE` then says what failed and sets $failed to 1.
kit_work() {
  failed=0
  work=$(mktemp -d "/tmp/$1.XXXXXX") || exit 1
  trap 'devsim_stop; rm -rf "$work"' EXIT
  trap 'exit 130' INT TERM
}
fail() { echo "$kit_name: $*" >&2; failed=1; }
