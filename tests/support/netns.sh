# Shared by the test scripts that make hosts of network namespaces and veth
# pairs. Source it.

# netns_preflight NAME (the calling script, for the messages): exits 1
# unless this is a private network namespace (the veth pairs are made in the
# current one before they are moved), and 77 (skipped) without root or
# iproute2. Private: its own namespace, not PID 1's, and no interface but
# loopback and our own; where PID 1's namespace cannot be read, the
# interfaces alone decide.
netns_preflight() {
  local mine others
  mine=$(readlink /proc/self/ns/net) || mine=
  # (grep finding nothing is the good case: not a failure under pipefail)
  others=$(tail -n +3 /proc/self/net/dev 2>/dev/null | cut -d: -f1 | tr -d ' ' | grep -v -e '^lo$' -e '^mlv' || :)
  if [ -z "$mine" ] || [ "$mine" = "$(readlink /proc/1/ns/net)" ] || [ -n "$others" ]; then
    echo "$1: refusing to run outside a private network namespace; use scripts/in-netns" >&2
    exit 1
  fi
  if [ "$(id -u)" -ne 0 ] || ! command -v ip >/dev/null; then
    echo "$1: needs root and iproute2 to make the test hosts; skipped" >&2
    exit 77
  fi
}

# netns_remove NS... [-- LINK...]: kills what runs in each namespace and
# removes it; then removes the links (left in the current namespace when a
# move failed).
netns_remove() {
  while [ $# -gt 0 ] && [ "$1" != -- ]; do
    ip netns pids "$1" 2>/dev/null | xargs -r kill -KILL 2>/dev/null
    ip netns del "$1" 2>/dev/null || :
    shift
  done
  [ $# -gt 0 ] && shift
  for link in "$@"; do ip link del "$link" 2>/dev/null || :; done
  return 0
}
