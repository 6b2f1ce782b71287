# Filters of the melvorin_station role: a station's outcome from
# melvorin-cli's JSON, and the fleet's report made of every station's
# outcome. They read melvorin-cli's output by field names only, so fields
# that later versions add do not matter. Nothing here ever sees the key.

import csv
import io
import json

# What melvorin-cli's exit status says, for the station's message.
EXIT_MEANINGS = {
    1: ("a device was refused the key (downgrade_refused: it offered a sealed join before; not_sealed:"
        " melvorin_require_seal), or melvorin-cli failed (socket or system error, UDP port 12345 taken, or"
        " another user's program on the search port, which a broadcast would hand the key)"),
    2: "melvorin-cli refused its input (bad usage, or a name and key too long for one request)",
    3: "time-out: no device answered the scan, or an addressed device gave no result",
    4: "a device refused the key's format",
    10: "the network was not found",
}

RESULT_FIELDS = ("address", "interface", "verdict", "message")
# The unit's hardware address and maker, as melvorin-cli reports them: null
# (an empty column in the CSV) when it does not know them.
UNIT_FIELDS = ("mac", "vendor")
# Whether the join went sealed: true or false (null, an empty column, in
# check mode, which joins nothing).
SEAL_FIELDS = ("sealed",)
# Where the unit came online (join --online): melvorin-cli's object (address,
# interface, authenticated), or null; its address in the CSV.
ONLINE_FIELDS = ("online",)


def _parse(stdout):
    text = (stdout or "").strip()
    return json.loads(text) if text else {}


def _row(fields):
    row = {name: str(fields.get(name, "") or "") for name in RESULT_FIELDS}
    row.update((name, fields.get(name) or None) for name in UNIT_FIELDS)
    row.update((name, fields[name] if isinstance(fields.get(name), bool) else None) for name in SEAL_FIELDS)
    row.update((name, fields[name] if isinstance(fields.get(name), dict) else None) for name in ONLINE_FIELDS)
    return row


def _devices(results):
    return ", ".join(
        "%s %s%s" % (r["address"] or "(no address)", r["verdict"], " (%s)" % r["message"] if r["message"] else "")
        for r in results)


def melvorin_outcome(stdout, rc, station, ssid, expected=0, check=False, stderr=""):
    """One station's outcome from `melvorin-cli join --json` (or, with
    check=True, from `melvorin-cli scan --json`): its report entry, whether
    it failed, and a message naming its devices and their verdicts."""
    data = _parse(stdout)
    expected = int(expected or 0)
    if check:
        results = [_row(dict(device, verdict="would_join", message=""))
                   for device in data.get("devices", [])
                   if any(net.get("ssid") == ssid for net in device.get("networks", []))]
    else:
        results = [_row(result) for result in data.get("results", [])]

    problems = []
    if rc != 0:
        meaning = EXIT_MEANINGS.get(rc, "melvorin-cli ended with %d" % rc)
        problems.append("exit %d, %s" % (rc, meaning))
        if not data and stderr:
            problems.append(stderr.strip().splitlines()[-1])
    if check and rc == 0 and not results:
        problems.append("no device offers %s" % ssid)
    if len(results) < expected:
        problems.append("%d device(s) offer %s, %d expected" % (len(results), ssid, expected))

    if problems:
        message = "%s: %s" % (station, "; ".join(problems))
        if results:
            message += ": " + _devices(results)
    elif check:
        message = "%s: would join %d device(s) to %s: %s" % (
            station, len(results), ssid, ", ".join(r["address"] for r in results))
    else:
        message = "%s: %d device(s) joined %s: %s" % (station, len(results), ssid, _devices(results))
    return {
        "station": station,
        "ssid": ssid,
        "exit_code": rc,
        "devices_found": len(results),
        "results": results,
        "failed": bool(problems),
        "message": message,
    }


def melvorin_failure(station, ssid, why):
    """The outcome of a station where melvorin-cli could not be run."""
    return {"station": station, "ssid": ssid, "exit_code": None, "devices_found": 0, "results": [],
            "failed": True, "message": "%s: %s" % (station, why)}


def melvorin_report(hosts, hostvars):
    """The fleet's report: every station of the play, in inventory order,
    those that never got an outcome (unreachable, stopped early) too."""
    stations = []
    for host in hosts:
        known = hostvars[host]
        outcome = known["melvorin_station"] if "melvorin_station" in known else None
        if not outcome:
            ssid = known["melvorin_ssid"] if "melvorin_ssid" in known else None
            outcome = melvorin_failure(host, ssid, "no outcome: the station was unreachable or stopped early")
        stations.append(dict(outcome))
    ssids = {s["ssid"] for s in stations}
    return {"ssid": ssids.pop() if len(ssids) == 1 else None, "stations": stations}


def melvorin_csv(report):
    """report.csv: one row per device, and one for a station without any,
    carrying the station's message; the unit's hardware address and maker,
    then whether the join went sealed ("true", "false") and the address it
    came online at, last."""
    out = io.StringIO()
    writer = csv.writer(out, lineterminator="\n")
    writer.writerow(("station",) + RESULT_FIELDS + UNIT_FIELDS + SEAL_FIELDS + ONLINE_FIELDS)
    for station in report["stations"]:
        rows = station["results"] or [{"message": station["message"]}]
        for row in rows:
            sealed = [{True: "true", False: "false"}.get(row.get(name), "") for name in SEAL_FIELDS]
            online = [str((row.get(name) or {}).get("address") or "") for name in ONLINE_FIELDS]
            writer.writerow([station["station"]] + [row.get(name) or "" for name in RESULT_FIELDS + UNIT_FIELDS]
                            + sealed + online)
    return out.getvalue()


class FilterModule(object):
    def filters(self):
        return {
            "melvorin_outcome": melvorin_outcome,
            "melvorin_failure": melvorin_failure,
            "melvorin_report": melvorin_report,
            "melvorin_csv": melvorin_csv,
        }
