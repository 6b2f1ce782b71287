#pragma once

// Bench mode: scanning once a second until told to stop, joining each unit
// that comes and offers the network once (join --watch), or telling which
// units come and go (scan --watch). Results are printed the moment they are
// known, one line each (one JSON object each with --json). Runs on the thread
// that made the session.

#include <functional>
#include <optional>
#include <string>

#include "cli/plan.h"
#include "cli/report.h"
#include "cli/sealing.h"
#include "cli/session.h"
#include "protocol/bytes.h"

namespace melvorin::cli {

struct WatchOutput {
    bool json = false;
    std::function<void(const std::string& line)> print;  // a line of standard output, without its break
    std::function<void(const std::string& note)> note;   // a line of standard error
    std::function<bool()> stopRequested;                // SIGINT or SIGTERM has come
};

struct JoinWatch {
    std::string ssid;                   // --ssid
    std::optional<TIdBytes> ssidBytes;  // --ssid-hex
    bool hidden = false;
    const TIdBytes& key;  // the key's owner's bytes, not a copy
    bool unicast = false;
    double timeout = 3.0;  // seconds from a unit's first request to giving up on it
    int retries = 5;
    int maxTries = 0;  // joins of a unit that gives no result; 0: no end (--max-tries)
    std::optional<DeviceChoice> choice;  // --device: only that unit
    SealRules seal;                      // each unit sealed, in clear or refused, per its latest list reply
    units::PinStore* pins = nullptr;     // where first sights are pinned
    // Each result as it is printed, with the network's bytes and name; false
    // when it could not be recorded, which ends the bench (exit code 1).
    std::function<bool(const JoinReport& result, const TIdBytes& raw, const std::string& shown)> onResult;
};

// Until stopped: no new joins then, results still awaited get at most a
// second, the summary goes to standard error (and, with --json, as a last
// line). The exit code is join's over every unit; 3 when none came. A unit
// whose join gave no result is joined again when it answers after
// WatchBook::RetryAfter(). Raises net::EOtherListeners when another user's
// program would receive a broadcast join.
int WatchJoins(Session& session, const JoinWatch& watch, const WatchOutput& out);

// Until stopped; 0 when any unit came, else 3.
int WatchScan(Session& session, const WatchOutput& out);

}  // namespace melvorin::cli
