# Shared by scripts/in-netns, scripts/demo and the test scripts that make
# hosts of network namespaces and veth pairs. Source it.

# netns_loopback: brings loopback up in a new network namespace and routes
# 255.255.255.255 to it, so that a broadcast loops back to local sockets.
netns_loopback() {
  ip link set lo up && ip route add 255.255.255.255/32 dev lo src 127.0.0.1
}

# netns_enter NAME [--user] COMMAND...: runs COMMAND (exec) in a private
# network namespace made for it, set up by netns_loopback, with
# MELVORIN_IN_NETNS=1 in its environment; in the current one when that is
# already set. Only root can make the namespace, unless --user is given:
# then anyone can where the system allows unprivileged user namespaces,
# becoming root inside a user namespace of their own. Exits 1 and says why
# when the namespace cannot be made (NAME names the caller).
netns_enter() {
  local name=$1 unshare_args=(--net) needs="it needs root" why
  shift
  if [ "${1:-}" = --user ]; then
    shift
    if [ "$(id -u)" -ne 0 ]; then
      unshare_args=(--user --map-root-user --net)
      needs="it needs root, or unprivileged user namespaces, which this system does not allow"
    fi
  fi
  if [ "${MELVORIN_IN_NETNS:-}" = 1 ]; then
    exec "$@"
  fi
  if ! why=$(unshare "${unshare_args[@]}" -- true 2>&1); then
    echo "$name: cannot make a private network namespace ($needs): $why" >&2
    exit 1
  fi
  exec unshare "${unshare_args[@]}" -- bash -c "$(declare -f netns_loopback)"'
    netns_loopback || exit 1
    export MELVORIN_IN_NETNS=1
    exec "$@"' "$name" "$@"
}

# netns_preflight NAME (the calling script, for the messages): exits 1
# unless this is a private network namespace (the veth pairs are made in the
# current one before they are moved), and 77 (skipped) without root or
# iproute2. Private: its own namespace, not PID 1's, and no interface but
# loopback and our own; where PID 1's namespace cannot be read, the
# interfaces alone decide.
netns_preflight() {
  netns_private "$1"
  if [ "$(id -u)" -ne 0 ] || ! command -v ip >/dev/null; then
    echo "$1: needs root and iproute2 to make the test hosts; skipped" >&2
    exit 77
  fi
}

# netns_private NAME: exits 1 unless this is a private network namespace, as
# netns_preflight says.
netns_private() {
  local mine others
  mine=$(readlink /proc/self/ns/net) || mine=
  # (grep finding nothing is the good case: not a failure under pipefail)
  others=$(tail -n +3 /proc/self/net/dev 2>/dev/null | cut -d: -f1 | tr -d ' ' | grep -v -e '^lo$' -e '^mlv' || :)
  if [ -z "$mine" ] || [ "$mine" = "$(readlink /proc/1/ns/net)" ] || [ -n "$others" ]; then
    echo "$1: refusing to run outside a private network namespace; use scripts/in-netns" >&2
    exit 1
  fi
}

# netns_add NS...: makes each network namespace. Returns 77 and says so
# (skipped) when one cannot be made.
netns_add() {
  local ns
  for ns in "$@"; do
    ip netns add "$ns" || { echo "ip netns add $ns failed; skipped" >&2; return 77; }
  done
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

# netns_segments TOOL A B IFA IFB NET_A NET_B: a tool host TOOL with two
# segments and no default route: namespaces TOOL, A and B, A joined to TOOL
# by the veth pair IFA / IFAp, B by IFB / IFBp; TOOL has NET_A.1 and
# NET_B.1, A has NET_A.2 and B NET_B.2 (all /24). Returns 77 when a
# namespace cannot be made, 1 when anything else fails.
netns_segments() {
  local tool=$1 a=$2 b=$3 ifa=$4 ifb=$5 neta=$6 netb=$7 ns
  netns_add "$tool" "$a" "$b" || return
  ip link add "$ifa" type veth peer name "${ifa}p" &&
    ip link add "$ifb" type veth peer name "${ifb}p" &&
    ip link set "$ifa" netns "$tool" && ip link set "${ifa}p" netns "$a" &&
    ip link set "$ifb" netns "$tool" && ip link set "${ifb}p" netns "$b" &&
    ip -n "$tool" addr add "$neta.1/24" dev "$ifa" &&
    ip -n "$tool" addr add "$netb.1/24" dev "$ifb" &&
    ip -n "$a" addr add "$neta.2/24" dev "${ifa}p" &&
    ip -n "$b" addr add "$netb.2/24" dev "${ifb}p" &&
    for ns in "$tool" "$a" "$b"; do ip -n "$ns" link set lo up || return 1; done &&
    ip -n "$tool" link set "$ifa" up && ip -n "$tool" link set "$ifb" up &&
    ip -n "$a" link set "${ifa}p" up && ip -n "$b" link set "${ifb}p" up || return 1
}

# netns_veth LINK NS IF ADDR PEER_NS PEER_IF PEER_ADDR: a veth pair joining
# namespace NS (its end named IF, with ADDR, a /24 unless it says
# ADDR/PREFIX) to PEER_NS (PEER_IF, PEER_ADDR), both ends up. An empty PEER_NS leaves that end in the current
# namespace, named LINK, for a bridge; an empty address adds none. Returns 1
# when anything fails (then `ip link del LINK` removes what is left here).
netns_veth() {
  local link=$1 ns=$2 if=$3 addr=$4 pns=$5 pif=$6 paddr=$7
  ip link add "$link" type veth peer name "${link}p" || return 1
  ip link set "${link}p" netns "$ns" && ip -n "$ns" link set "${link}p" name "$if" || return 1
  if [ -n "$pns" ]; then
    ip link set "$link" netns "$pns" && ip -n "$pns" link set "$link" name "$pif" || return 1
  fi
  local at=() pname=$link
  [ -z "$pns" ] || { at=(-n "$pns"); pname=$pif; }
  [ -z "$addr" ] || ip -n "$ns" addr add "$addr$([[ $addr == */* ]] || echo /24)" dev "$if" || return 1
  [ -z "$paddr" ] || ip "${at[@]}" addr add "$paddr$([[ $paddr == */* ]] || echo /24)" dev "$pname" || return 1
  ip -n "$ns" link set lo up && ip "${at[@]}" link set lo up &&
    ip -n "$ns" link set "$if" up && ip "${at[@]}" link set "$pname" up
}
