#!/usr/bin/env bash
# The fleet playbook (deploy/ansible/provision.yml, with the example
# inventory's layout) run by ansible-playbook on a controller against three
# stations over real SSH. Controller and stations are network namespaces on
# one management bridge; each station runs its own sshd (configuration, host
# key and authorized keys in this test's folder, listening on the station's
# management address only) and has a bench segment, a namespace of its own:
# station A's two devices accept, one of B's two refuses the key, C has none.
# A joins by unicast; root's listener on A's search port (root's, so not
# refused) must hear A's scan but not its join. Every station appends to one
# record file. First an inventory without the
# stations' group (the play must refuse it), then check mode (no join request
# may reach a device), then for real. Checks the report's rows (with the
# devices' hardware addresses and makers), which stations changed and failed,
# the exit status, and that the key shows in no output, report, record or
# process list.
#
# Usage: run_fleet.sh MELVORIN_CLI MELVORIN_DEVSIM
# Exit: 0 passed, 1 failed, 77 skipped (namespaces cannot be made).
set -uo pipefail
cli=${1:?usage: run_fleet.sh MELVORIN_CLI MELVORIN_DEVSIM}
devsim=${2:?usage: run_fleet.sh MELVORIN_CLI MELVORIN_DEVSIM}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
ansible_dir=$here/../../deploy/ansible

. "$here/../support/kit.sh"
netns_preflight run_fleet
for tool in ansible-playbook ansible-vault ssh ssh-keygen /usr/sbin/sshd ss; do
  command -v "$tool" >/dev/null || { echo "run_fleet: $tool is missing (scripts/setup installs it)" >&2; exit 1; }
done

ctl=mlv-fc-$$ bridge=mlvbr$$
stations=(a b c)
work=$(mktemp -d /tmp/mlv-fleet.XXXXXX)
namespaces=("$ctl")
for s in "${stations[@]}"; do namespaces+=("mlv-fs$s-$$" "mlv-fb$s-$$"); done
sampler= pids=()
# Stops the devices and every sshd (then whatever else runs in the
# namespaces: sessions, ssh masters), also when the test fails.
cleanup() {
  touch "$work/stop"
  [ "${#pids[@]}" -eq 0 ] || kill -TERM "${pids[@]}" 2>/dev/null
  for _ in $(seq 50); do kill -0 "${pids[@]}" 2>/dev/null || break; sleep 0.1; done
  netns_remove "${namespaces[@]}" -- "$bridge" mlvfk$$ mlvfma$$ mlvfmb$$ mlvfmc$$
  wait
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Management: 10.214.0.1 the controller, .2 .3 .4 the stations, on bench0 each
# station is 10.215.N.1 and its devices 10.215.N.10 and up.
for ns in "${namespaces[@]}"; do
  ip netns add "$ns" || { echo "run_fleet: ip netns add failed; skipped" >&2; exit 77; }
done
fail_setup() { echo "run_fleet: the test hosts could not be made" >&2; exit 1; }
ip link add "$bridge" type bridge && ip link set "$bridge" up || fail_setup
netns_veth mlvfk$$ "$ctl" mgmt0 10.214.0.1 "" "" "" && ip link set mlvfk$$ master "$bridge" || fail_setup
n=1
for s in "${stations[@]}"; do
  n=$((n + 1))
  netns_veth "mlvfm$s$$" "mlv-fs$s-$$" mgmt0 "10.214.0.$n" "" "" "" &&
    ip link set "mlvfm$s$$" master "$bridge" &&
    netns_veth "mlvfs$s$$" "mlv-fs$s-$$" bench0 "10.215.$((n - 1)).1" "mlv-fb$s-$$" seg0 "" || fail_setup
done
for d in 1.10 1.11 2.10 2.11; do ip -n "mlv-fb${stations[${d%%.*} - 1]}-$$" addr add "10.215.$d/24" dev seg0 || fail_setup; done
# The devices' hardware addresses: A's of a registered maker, B's locally
# administered (no maker).
mac_a=24:6f:28:00:01:00 mac_b=02:00:00:00:02:00
ip -n mlv-fba-$$ link set seg0 address $mac_a && ip -n mlv-fbb-$$ link set seg0 address $mac_b || fail_setup
# Each device asks for its station's hardware address (ARP), as a unit does
# when it comes up, so that the station's neighbour table knows it. Devices
# sharing a namespace share its neighbour cache: it is emptied before each.
announce() {  # N ADDRESS: the device at 10.215.N.ADDRESS
  local bench=mlv-fb${stations[$1 - 1]}-$$ station=mlv-fs${stations[$1 - 1]}-$$
  ip -n "$bench" neigh flush dev seg0
  ip netns exec "$bench" python3 -c 'import socket, sys
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind((sys.argv[1], 0))
s.sendto(b"", (sys.argv[2], 9))' "10.215.$1.$2" "10.215.$1.1" || return 1
  for _ in $(seq 50); do
    ip -n "$station" neigh show "10.215.$1.$2" dev bench0 | grep -q lladdr && return 0
    sleep 0.1
  done
  return 1
}
for d in 1.10 1.11 2.10 2.11; do announce "${d%%.*}" "${d#*.}" || fail_setup; done

# The devices, logging every datagram: A's two accept any key, B's second
# has another key than the one provisioned.
start_devices() {  # NAME NS ARGS...
  local name=$1 ns=$2
  shift 2
  devsim_start "$work/dev-$name.log" ip netns exec "$ns" "$devsim" --verbose --show-secrets "$@" || fail_setup
  pids+=("$devsim_pid")
}
start_devices a mlv-fba-$$ --devices 2 --first-address 10.215.1.10
start_devices b1 mlv-fbb-$$ --devices 1 --first-address 10.215.2.10
start_devices b2 mlv-fbb-$$ --devices 1 --first-address 10.215.2.11 --key "not-the-fleet-key"
# Another program on station A's search port: a broadcast from A reaches it,
# a unicast to a device does not.
ip netns exec mlv-fsa-$$ python3 -u -c '
import socket
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(("0.0.0.0", 1902))
print("listening")
while True:
    print(s.recv(4096).hex(" "))' >"$work/listener-a.log" 2>&1 &
pids+=($!)

# SSH: one client key, a host key per station, everything in $work/ssh.
mkdir -p "$work/ssh" "$work/home" "$work/ansible/cp" "$work/report"
[ -d /run/sshd ] || mkdir -m 0755 /run/sshd
ssh-keygen -q -t ed25519 -N "" -C fleet-test -f "$work/ssh/id" || fail_setup
cp "$work/ssh/id.pub" "$work/ssh/authorized_keys"
n=1
for s in "${stations[@]}"; do
  n=$((n + 1))
  ssh-keygen -q -t ed25519 -N "" -C "station-$s" -f "$work/ssh/host-$s" || fail_setup
  echo "10.214.0.$n $(cut -d' ' -f1,2 "$work/ssh/host-$s.pub")" >>"$work/ssh/known_hosts"
  cat >"$work/ssh/sshd-$s.conf" <<EOF
ListenAddress 10.214.0.$n:22
HostKey $work/ssh/host-$s
AuthorizedKeysFile $work/ssh/authorized_keys
PidFile none
PermitRootLogin prohibit-password
PasswordAuthentication no
KbdInteractiveAuthentication no
UsePAM no
StrictModes no
PermitUserRC no
PermitTTY no
DisableForwarding yes
PrintMotd no
PrintLastLog no
Subsystem sftp internal-sftp
EOF
  ip netns exec "mlv-fs$s-$$" /usr/sbin/sshd -D -e -f "$work/ssh/sshd-$s.conf" 2>"$work/sshd-$s.log" &
  pids+=($!)
done
cat >"$work/ssh/config" <<EOF
Host *
  IdentityFile $work/ssh/id
  IdentitiesOnly yes
  UserKnownHostsFile $work/ssh/known_hosts
  GlobalKnownHostsFile /dev/null
  StrictHostKeyChecking yes
  BatchMode yes
  ConnectTimeout 10
  ControlMaster auto
  ControlPersist 120
  ControlPath $work/ansible/cp/%C
EOF
for _ in $(seq 100); do
  ready=0
  for s in "${stations[@]}"; do grep -q "Server listening" "$work/sshd-$s.log" && ready=$((ready + 1)); done
  grep -q listening "$work/listener-a.log" && ready=$((ready + 1))
  [ "$ready" -eq 4 ] && break
  sleep 0.1
done
[ "$ready" -eq 4 ] || { tail -n 5 "$work"/sshd-*.log "$work/listener-a.log" >&2; fail_setup; }

# The key: random, held in a vault file and in a pattern file for grep, never
# on a command line (the process lists are searched for it).
key="fleet-key-$(od -An -N8 -tx1 /dev/urandom | tr -d ' \n')"
printf '%s\n' "$key" >"$work/key"
printf 'vault_melvorin_key: "%s"\n' "$key" >"$work/vault.yml"
printf 'fleet-test-vault-password\n' >"$work/vault-pass"
cat >"$work/stations.yml" <<EOF
melvorin_stations:
  hosts:
    bench-a: {ansible_host: 10.214.0.2, melvorin_unicast: true}
    bench-b: {ansible_host: 10.214.0.3}
    bench-c: {ansible_host: 10.214.0.4}
  vars:
    ansible_user: root
    ansible_python_interpreter: /usr/bin/python3
    melvorin_cli: $cli
    melvorin_scan_timeout: 1
    melvorin_timeout: 3
    melvorin_report_dir: $work/report
    melvorin_record: $work/units.jsonl
EOF
cat >"$work/ansible.cfg" <<EOF
[defaults]
local_tmp = $work/ansible/local
remote_tmp = $work/ansible/remote
retry_files_enabled = False
forks = 3
[ssh_connection]
ssh_args = -F $work/ssh/config
control_path_dir = $work/ansible/cp
EOF
export ANSIBLE_CONFIG=$work/ansible.cfg HOME=$work/home ANSIBLE_NOCOLOR=1 ANSIBLE_FORCE_COLOR=0
ANSIBLE_VAULT_PASSWORD_FILE=$work/vault-pass ansible-vault encrypt "$work/vault.yml" >/dev/null || fail_setup

failed=0
fail() { echo "run_fleet: $*" >&2; failed=1; }

# Samples every process's command line and environment until $work/stop
# exists: how often a join was seen running, how often the key was.
sample_processes() {
  local seen=0 leaked=0
  while [ ! -e "$work/stop" ]; do
    cat /proc/[0-9]*/cmdline /proc/[0-9]*/environ 2>/dev/null | tr '\0' '\n' >"$work/procs"
    grep -qxF -- --key-file "$work/procs" && seen=$((seen + 1))
    grep -qF -f "$work/key" "$work/procs" && leaked=$((leaked + 1))
    sleep 0.2
  done
  echo "$seen $leaked" >"$work/sampled"
}

# play NAME [ARGS...]: runs the playbook on the controller; its output goes to
# $work/NAME.log, its exit status to $code.
play() {
  local name=$1
  shift
  rm -f "$work/stop" "$work/sampled" "$work/report"/*
  sample_processes &
  sampler=$!
  ip netns exec "$ctl" timeout 240 ansible-playbook -vvv -i "$ansible_dir/inventory.example.yml" \
    -i "$work/stations.yml" -e "@$work/vault.yml" --vault-password-file "$work/vault-pass" \
    "$ansible_dir/provision.yml" "$@" >"$work/$name.log" 2>&1
  code=$?
  touch "$work/stop"
  wait "$sampler"
  sampler=
  grep -qF -f "$work/key" "$work/$name.log" && fail "$name: the key is in Ansible's output"
  grep -qF -f "$work/key" "$work/report/report.json" "$work/report/report.csv" && fail "$name: the key is in the report"
  [ ! -e "$work/units.jsonl" ] || ! grep -qF -f "$work/key" "$work/units.jsonl" || fail "$name: the key is in the record"
  read -r seen leaked <"$work/sampled"
  [ "$leaked" -eq 0 ] || fail "$name: the key was in a process's command line or environment ($leaked samples)"
}
# recap HOST CHANGED FAILED: the play's recap line of HOST.
recap() {
  grep -qE "^$1 +: ok=[0-9]+ +changed=$2 +unreachable=0 +failed=$3 " "$work/$name.log" ||
    fail "$name: $1 did not end with changed=$2 failed=$3"
}
# expect_report ROWS STATIONS: report.csv's rows after the header (lines),
# and report.json's [station, exit_code, devices_found] of every station
# (JSON) with the same results as the CSV's (mac and vendor null where the
# CSV's are empty).
expect_report() {
  printf 'station,address,interface,verdict,message,mac,vendor\n%s\n' "$1" | diff - "$work/report/report.csv" >&2 ||
    fail "$name: report.csv differs (above)"
  python3 - "$work/report/report.json" "$work/report/report.csv" "$2" <<'EOF' || fail "$name: report.json disagrees"
import csv, json, sys
report = json.load(open(sys.argv[1], encoding="utf-8"))
rows = list(csv.DictReader(open(sys.argv[2], encoding="utf-8")))
assert report["ssid"] == "HomeNet", report["ssid"]
stations = [[s["station"], s["exit_code"], s["devices_found"]] for s in report["stations"]]
assert stations == json.loads(sys.argv[3]), stations
got = [dict(station=s["station"], **r) for s in report["stations"] for r in s["results"]]
assert got == [dict(r, mac=r["mac"] or None, vendor=r["vendor"] or None) for r in rows if r["address"]], got
EOF
}
joins_seen() {  # join requests (command 02) that reached the devices
  cat "$work"/dev-*.log | grep -cE ': ff 00 [0-9a-f]{2} 02 '
}
accepted=提交成功，请检查设备状态
refused=密码格式有误，请重新输入
port_taken='bench-c: UDP port 12345, where melvorin-cli receives, is in use (another Melvorin may be running)'
no_device='bench-c: exit 3, time-out: no device answered the scan, or an addressed device gave no result; 0 device(s) offer HomeNet, 1 expected'

# rows_a VERDICT MESSAGE: station A's rows in report.csv.
rows_a() {
  printf 'bench-a,10.215.1.%s,bench0,%s,%s,%s,Espressif Inc.\n' 10 "$1" "$2" "$mac_a" 11 "$1" "$2" "$mac_a"
}

# Hosts outside the group: refused at once, the group named; with the group
# given as melvorin_group, its hosts are the stations.
name=nogroup
printf 'benches:\n  hosts:\n    bench-a: {ansible_host: 10.214.0.2}\n' >"$work/benches.yml"
ip netns exec "$ctl" timeout 120 ansible-playbook -i "$work/benches.yml" "$ansible_dir/provision.yml" \
  >"$work/nogroup.log" 2>&1
code=$?
[ "$code" -eq 2 ] || fail "nogroup: ansible-playbook exited with $code, not 2"
grep -qF 'No station to provision: the group melvorin_stations has no host in the inventory' "$work/nogroup.log" ||
  fail "nogroup: the group it needs is not named"
grep -q 'TASK \[Check the station' "$work/nogroup.log" && fail "nogroup: the role ran"
ip netns exec "$ctl" timeout 120 ansible-playbook -i "$work/benches.yml" -e melvorin_group=benches --list-hosts \
  "$ansible_dir/provision.yml" 2>&1 | grep -A3 'play #2 (benches)' | grep -qx ' *bench-a' ||
  fail "nogroup: -e melvorin_group=benches does not make bench-a a station"

# Check mode, with UDP port 12345 taken on station C.
name=check
devsim_start "$work/holder.log" ip netns exec mlv-fsc-$$ "$devsim" --port 12345 || fail_setup
holder=$devsim_pid
pids+=("$holder")
play check --check
kill "$holder"
wait "$holder"
[ "$code" -eq 2 ] || fail "check: ansible-playbook exited with $code, not 2"
[ "$(joins_seen)" -eq 0 ] || fail "check: a join request reached a device"
[ ! -e "$work/units.jsonl" ] || fail "check: a record was written"
for s in bench-a bench-b; do recap $s 0 0; done
recap bench-c 0 1
grep -qF "$port_taken" "$work/check.log" || fail "check: bench-c's failure not told"
grep -qF 'bench-b: would join 2 device(s) to HomeNet: 10.215.2.10, 10.215.2.11' "$work/check.log" ||
  fail "check: bench-b's devices to join not told"
expect_report "$(rows_a would_join '')
bench-b,10.215.2.10,bench0,would_join,,$mac_b,
bench-b,10.215.2.11,bench0,would_join,,$mac_b,
bench-c,,,,\"$port_taken\",," '[["bench-a", 0, 2], ["bench-b", 0, 2], ["bench-c", null, 0]]'

name=join
play join
[ "$code" -eq 2 ] || fail "join: ansible-playbook exited with $code, not 2"
[ "$seen" -gt 0 ] || fail "join: no sample of the process lists saw melvorin-cli join running"
key_hex=$(printf '%s' "$key" | od -An -tx1 | tr -s ' \n' ' ')
for d in a b1 b2; do
  grep -qF "0d 0a${key_hex% }" "$work/dev-$d.log" || fail "join: the key did not reach device $d"
done
# A joined by unicast: root's listener on its search port heard the scan's
# broadcast (so nothing refused it) but not the join request.
grep -qE '^ff 00 [0-9a-f]{2} 01 ' "$work/listener-a.log" || fail "join: the listener on station A heard no scan"
grep -qE '^ff 00 [0-9a-f]{2} 02 ' "$work/listener-a.log" && fail "join: station A's join request reached its listener"
recap bench-a 1 0
recap bench-b 0 1
recap bench-c 0 1
grep -qF "bench-b: exit 4, a device refused the key's format: 10.215.2.10 accepted ($accepted), 10.215.2.11 key_format ($refused)" \
  "$work/join.log" || fail "join: bench-b's failure does not name its devices and verdicts"
grep -qF "$no_device" "$work/join.log" || fail "join: bench-c's failure not told"
expect_report "$(rows_a accepted "$accepted")
bench-b,10.215.2.10,bench0,accepted,$accepted,$mac_b,
bench-b,10.215.2.11,bench0,key_format,$refused,$mac_b,
bench-c,,,,\"$no_device\",," '[["bench-a", 0, 2], ["bench-b", 4, 2], ["bench-c", 3, 0]]'
# The three stations append to one record file (as a shared folder would
# have it): a whole line for each device joined, none for C's.
python3 - "$work/units.jsonl" "$mac_a" "$mac_b" <<'EOF' || fail "join: the record file is not one line per joined device"
import json, re, socket, sys
mac_a, mac_b = sys.argv[2:]
lines = [json.loads(line) for line in open(sys.argv[1], encoding="utf-8")]
accepted, refused = "提交成功，请检查设备状态", "密码格式有误，请重新输入"
want = sorted([("10.215.1.10", mac_a, "Espressif Inc.", "accepted", accepted),
               ("10.215.1.11", mac_a, "Espressif Inc.", "accepted", accepted),
               ("10.215.2.10", mac_b, None, "accepted", accepted),
               ("10.215.2.11", mac_b, None, "key_format", refused)])
assert sorted((r["address"], r["mac"], r["vendor"], r["verdict"], r["message"]) for r in lines) == want, lines
for r in lines:
    assert sorted(r) == sorted(["time", "station", "interface", "address", "mac", "vendor", "ssid", "ssid_hex",
                                "verdict", "message", "program"]), r
    assert re.fullmatch(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z", r["time"]), r
    assert (r["station"], r["interface"], r["ssid"], r["ssid_hex"]) == (socket.gethostname(), "bench0", "HomeNet",
                                                                        b"HomeNet".hex()), r
    assert re.fullmatch(r"melvorin-cli \S+", r["program"]), r
EOF

if [ "$failed" -ne 0 ]; then
  for f in nogroup check join; do echo "--- ansible-playbook ($f) ---"; cat "$work/$f.log"; done
  echo "--- report.csv ---"; cat "$work/report/report.csv"
fi
exit "$failed"
