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
# record file. The keys hold {{, {% and {# and begin with 0: A's (and C's)
# is given as !unsafe in a vault file, B's as an inline vault string; the
# devices must receive them as they are written. First an inventory without
# the stations' group (the play must refuse it), then one with keys and
# settings the role refuses (a number, a key Ansible cannot render, Ansible
# keeping its modules' files, the report folder a symbolic link), then
# check mode (no join request may reach a device), then for real. Checks
# the report's rows (with the devices' hardware addresses and makers) and
# modes, which stations changed and failed, the exit status, and that
# nothing of the keys shows in any output, report, record or process list.
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
# Stops the devices, the listener and every sshd (then whatever else runs in
# the namespaces: sessions, ssh masters), also when the test fails.
cleanup() {
  touch "$work/stop"
  devsim_stop
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
}
start_devices a mlv-fba-$$ --devices 2 --first-address 10.215.1.10
start_devices b1 mlv-fbb-$$ --devices 1 --first-address 10.215.2.10
start_devices b2 mlv-fbb-$$ --devices 1 --first-address 10.215.2.11 --key "not-the-fleet-key"
# Another program on station A's search port: a broadcast from A reaches it,
# a unicast to a device does not.
devsim_start "$work/listener-a.log" ip netns exec mlv-fsa-$$ python3 -u -c '
import socket, sys
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(("0.0.0.0", 1902))
print("listening on port 1902", file=sys.stderr)
while True:
    print(s.recv(4096).hex(" "), file=sys.stderr)' || fail_setup

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
  [ "$ready" -eq 3 ] && break
  sleep 0.1
done
[ "$ready" -eq 3 ] || { tail -n 5 "$work"/sshd-*.log >&2; fail_setup; }

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
export ANSIBLE_VAULT_PASSWORD_FILE=$work/vault-pass

# The keys: random parts around what Ansible would render if it could, held
# in vault files and never on a command line (the process lists are searched
# for them). $work/key has the random parts, for grep: none may show anywhere.
random_part() { od -An -N8 -tx1 /dev/urandom | tr -d ' \n'; }
parts=("$(random_part)" "$(random_part)" "$(random_part)" "$(random_part)")
key_a="0${parts[0]}{{ k }}{%e%}{#y#}${parts[1]}"
key_b="07{#${parts[2]}#} {% {{${parts[3]}"
printf '%s\n' "${parts[@]}" >"$work/key"
printf "vault_melvorin_key: !unsafe '%s'\n" "$key_a" >"$work/vault.yml"
printf 'fleet-test-vault-password\n' >"$work/vault-pass"
ansible-vault encrypt "$work/vault.yml" >/dev/null || fail_setup
printf '%s' "$key_b" | ansible-vault encrypt_string --stdin-name melvorin_key 2>/dev/null >"$work/key-b.yml" ||
  fail_setup
cat >"$work/stations.yml" <<EOF
melvorin_stations:
  hosts:
    bench-a: {ansible_host: 10.214.0.2, melvorin_unicast: true}
    bench-b:
      ansible_host: 10.214.0.3
      melvorin_online_seconds: 1
$(sed 's/^/      /' "$work/key-b.yml")
    bench-c: {ansible_host: 10.214.0.4, melvorin_require_seal: true}
  vars:
    ansible_user: root
    ansible_python_interpreter: /usr/bin/python3
    melvorin_cli: $cli
    melvorin_scan_timeout: 1
    melvorin_timeout: 3
    melvorin_report_dir: $work/report
    melvorin_record: $work/units.jsonl
EOF

failed=0
fail() { echo "run_fleet: $*" >&2; failed=1; }

# Samples every process's command line and environment until $work/stop
# exists: how often a join was seen running, how often the key was
# ($work/online-seen once a join --online was, $work/seal-required-seen
# once a join --require-seal was).
sample_processes() {
  local seen=0 leaked=0
  while [ ! -e "$work/stop" ]; do
    cat /proc/[0-9]*/cmdline /proc/[0-9]*/environ 2>/dev/null | tr '\0' '\n' >"$work/procs"
    grep -qxF -- --key-file "$work/procs" && seen=$((seen + 1))
    grep -qxF -- --online "$work/procs" && : >"$work/online-seen"
    grep -qxF -- --require-seal "$work/procs" && : >"$work/seal-required-seen"
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
  rm -f "$work/stop" "$work/sampled" "$work/online-seen" "$work/seal-required-seen" "$work/report"/*
  sample_processes &
  sampler=$!
  ip netns exec "$ctl" timeout 240 ansible-playbook -vvv -i "$ansible_dir/inventory.example.yml" \
    -i "$work/stations.yml" -e "@$work/vault.yml" \
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
# json_rows JSON: report.json's results as report.csv's rows (null empty).
json_rows() {
  local station i n field value row
  for station in $(json_get "$1" 'stations/*/station'); do
    n=$(json_get "$1" "stations/station=$station/results/*/address" | wc -l)
    for ((i = 0; i < n; i++)); do
      row=$station
      for field in address interface verdict message mac vendor sealed online; do
        value=$(json_get "$1" "stations/station=$station/results/$i/$field")
        [ "$value" = null ] || [ "$field" != online ] || value=$(json_get "$value" address)
        [ "$value" != null ] || value=
        row+=",$value"
      done
      echo "$row"
    done
  done
}
# expect_report ROWS STATIONS: report.csv's rows after the header (lines),
# and report.json's "station exit_code devices_found" of every station
# (lines) with the same results as the CSV's rows of devices.
expect_report() {
  local json
  printf 'station,address,interface,verdict,message,mac,vendor,sealed,online\n%s\n' "$1" | diff - "$work/report/report.csv" >&2 ||
    fail "$name: report.csv differs (above)"
  json=$(cat "$work/report/report.json")
  [ "$(json_get "$json" ssid)" = HomeNet ] || fail "$name: report.json's ssid is not HomeNet"
  paste -d' ' <(json_get "$json" 'stations/*/station') <(json_get "$json" 'stations/*/exit_code') \
    <(json_get "$json" 'stations/*/devices_found') | diff - <(echo "$2") >&2 ||
    fail "$name: report.json's stations differ (above)"
  json_rows "$json" | diff - <(tail -n +2 "$work/report/report.csv" | grep -v '^[^,]*,,') >&2 ||
    fail "$name: report.json's results differ from report.csv's (above)"
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
  printf 'bench-a,10.215.1.%s,bench0,%s,%s,%s,Espressif Inc.,%s,\n' 10 "$1" "$2" "$mac_a" "$3" 11 "$1" "$2" "$mac_a" "$3"
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

# Refused, saying why and showing no key: a key that YAML reads as a number
# (01234567 as octal, 342391); one that Ansible cannot render; on a station
# joined with Ansible keeping its modules' files, the join (whose module
# would be kept with the key) before it runs; the report folder, a symbolic
# link, nothing written where it points. Only the last station connects:
# it is the controller itself.
name=refusals
mkdir "$work/elsewhere" && ln -s "$work/elsewhere" "$work/report-link" || fail_setup
cat >"$work/refusals.yml" <<EOF
benches:
  hosts:
    bench-a: {ansible_host: 10.214.0.2, melvorin_key: 01234567}
    bench-b: {ansible_host: 10.214.0.3, melvorin_key: "K{{ey-8Leak-42"}
    bench-x: {ansible_connection: local, melvorin_key: "fleet-9876543210"}
  vars:
    ansible_python_interpreter: /usr/bin/python3
    melvorin_cli: $cli
    melvorin_ssid: HomeNet
    melvorin_report_dir: $work/report-link
EOF
ANSIBLE_KEEP_REMOTE_FILES=1 ip netns exec "$ctl" timeout 120 ansible-playbook -v -i "$work/refusals.yml" \
  -e melvorin_group=benches "$ansible_dir/provision.yml" >"$work/refusals.log" 2>&1
code=$?
[ "$code" -eq 2 ] || fail "refusals: ansible-playbook exited with $code, not 2"
grep -qF 'bench-a: melvorin_key is a number, not a string' "$work/refusals.log" || fail "refusals: the number is not refused"
grep -qF 'bench-b: melvorin_key cannot be read as it is written' "$work/refusals.log" ||
  fail "refusals: the key Ansible cannot render is not refused"
grep -qE '342391|1234567|Leak|9876543210' "$work/refusals.log" && fail "refusals: a key is in Ansible's output"
grep -qF "bench-x: Not joining: the key would be written to files on the controller and the station, as Ansible \
keeps the modules' files (ANSIBLE_KEEP_REMOTE_FILES)" "$work/refusals.log" || fail "refusals: the join is not refused, saying why"
grep -qF 'TASK [melvorin_station : Join the devices to' "$work/refusals.log" && fail "refusals: the join ran"
grep -qF "The report folder $work/report-link is a symbolic link" "$work/refusals.log" ||
  fail "refusals: the report folder's link is not refused"
[ -z "$(ls -A "$work/elsewhere")" ] || fail "refusals: the report was written through the link"

# Check mode, with UDP port 12345 taken on station C.
name=check
devsim_start "$work/holder.log" ip netns exec mlv-fsc-$$ "$devsim" --port 12345 || fail_setup
holder=$devsim_pid
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
expect_report "$(rows_a would_join '' '')
bench-b,10.215.2.10,bench0,would_join,,$mac_b,,,
bench-b,10.215.2.11,bench0,would_join,,$mac_b,,,
bench-c,,,,\"$port_taken\",,,," "bench-a 0 2
bench-b 0 2
bench-c null 0"

name=join
play join
[ "$code" -eq 2 ] || fail "join: ansible-playbook exited with $code, not 2"
[ "$seen" -gt 0 ] || fail "join: no sample of the process lists saw melvorin-cli join running"
[ -e "$work/online-seen" ] || fail "join: melvorin_online_seconds gave no melvorin-cli join --online"
[ -e "$work/seal-required-seen" ] || fail "join: melvorin_require_seal gave no melvorin-cli join --require-seal"
# Each device received its station's key as it is written: after the
# network's name and CR LF, and then only the request's check byte.
hex() { printf '%s' "$1" | od -An -tx1 | tr -s ' \n' ' ' | sed 's/ $//'; }
for d in a:"$key_a" b1:"$key_b" b2:"$key_b"; do
  grep -qE "0d 0a$(hex "${d#*:}") [0-9a-f]{2}\$" "$work/dev-${d%%:*}.log" ||
    fail "join: device ${d%%:*} did not receive its key as it is written"
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
expect_report "$(rows_a accepted "$accepted" false)
bench-b,10.215.2.10,bench0,accepted,$accepted,$mac_b,,false,
bench-b,10.215.2.11,bench0,key_format,$refused,$mac_b,,false,
bench-c,,,,\"$no_device\",,,," "bench-a 0 2
bench-b 4 2
bench-c 3 0"
[ "$(stat -c %a "$work/report" "$work/report/report.json" "$work/report/report.csv" | paste -sd' ')" = "700 600 600" ] ||
  fail "join: the report folder is not 0700 or its files are not 0600"
# The three stations append to one record file (as a shared folder would
# have it): a whole line for each device joined, none for C's.
# "address mac vendor verdict message", sorted, of each line; a line whose
# time, station, interface, network or program is not as it should be
# says so instead.
record=$(while IFS= read -r line; do
  for field in address mac vendor verdict message; do json_get "$line" $field; done | paste -sd' '
  [[ $(json_get "$line" time) =~ ^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3}Z$ ]] &&
    [ "$(for f in station interface ssid ssid_hex; do json_get "$line" $f; done | paste -sd' ')" = \
      "$(uname -n) bench0 HomeNet 486f6d654e6574" ] && [[ $(json_get "$line" program) =~ ^melvorin-cli\ [^\ ]+$ ]] ||
    echo "wrong: $line"
done <"$work/units.jsonl" | sort)
[ "$record" = "10.215.1.10 $mac_a Espressif Inc. accepted $accepted
10.215.1.11 $mac_a Espressif Inc. accepted $accepted
10.215.2.10 $mac_b null accepted $accepted
10.215.2.11 $mac_b null key_format $refused" ] || fail "join: the record file is not one line per joined device: $record"

if [ "$failed" -ne 0 ]; then
  for f in nogroup refusals check join; do echo "--- ansible-playbook ($f) ---"; cat "$work/$f.log"; done
  echo "--- report.csv ---"; cat "$work/report/report.csv"
fi
exit "$failed"
