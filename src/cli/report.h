#pragma once

// What the tool collects and prints: the devices that answered a scan and
// the results of a join, as a table or as one JSON document.

#include <optional>
#include <string>
#include <vector>

#include "protocol/bytes.h"
#include "protocol/hex.h"
#include "protocol/results.h"
#include "seal/sealed_join.h"

namespace melvorin::cli {

struct NetworkRow {
    std::string ssid;  // the bytes decoded, as the window decodes them (no markers)
    TIdBytes raw;      // the bytes of the list reply
    int strength = 0;  // percent, 0..255
};

struct DeviceReport {
    std::string address;
    std::string interfaceName;    // "" when unknown
    unsigned interfaceIndex = 0;  // 0 when unknown
    std::vector<NetworkRow> networks;  // strongest first
    // The unit's hardware address ("24:6f:28:00:00:01") and its maker, when
    // the system's neighbour table and the registries tell them.
    std::optional<std::string> mac;
    std::optional<std::string> vendor;
    // The sealed join its last list reply offered, if any.
    std::optional<seal::Advert> advert;
};

// Field values of the JSON "verdict": accepted, key_format, ssid_not_found,
// no_result, downgrade_refused (pinned, but it offered no seal or another
// key: nothing sent), not_sealed (no seal offered and --require-seal:
// nothing sent).
enum class Verdict { Accepted, KeyFormat, SsidNotFound, NoResult, DowngradeRefused, NotSealed };
inline constexpr int kVerdicts = 6;

// Where a unit said it came online after joining ("online" in the JSON).
struct Online {
    std::string address;
    std::string interfaceName;  // the link it was heard on
    // The join went sealed and the announcement bore its tag.
    bool authenticated = false;
};

struct JoinReport {
    std::string address;
    std::string interfaceName;
    Verdict verdict = Verdict::NoResult;
    std::string message;  // the window's notice text; "" for no_result
    std::optional<std::string> mac;     // as DeviceReport's
    std::optional<std::string> vendor;
    bool sealed = false;  // the join went sealed (and its result bore the tag)
    std::optional<Online> online;
};

const char* VerdictWord(Verdict verdict);
// Whether a verdict is a unit's answer (not no_result, nor one of a unit
// sent nothing).
bool Answered(Verdict verdict);
// The verdict of a join result as the exchange reads it.
Verdict VerdictOf(JoinVerdict verdict);
// Exit code of one verdict, and of several: the first of 1, 4, 10, 3 that
// any of them gives, else 0.
int VerdictExitCode(Verdict verdict);
int CombinedExitCode(const std::vector<JoinReport>& results);

// How the tables and messages name a unit: "192.168.4.1 on wlan0" when
// nothing more is known, else with its hardware address and maker:
// "192.168.4.1 (24:6f:28:00:00:01, Espressif Inc.) on wlan0", a locally
// administered address said to be one.
std::string UnitHead(const std::string& address, const std::optional<std::string>& mac,
                     const std::optional<std::string>& vendor, const std::string& interfaceName);

// A JSON string literal of UTF-8 text; C0 and C1 controls, DEL and the
// bidirectional controls written as \uXXXX, so none reaches a terminal raw.
std::string JsonString(const std::string& text);
// `"name": value`, the value already JSON.
std::string Field(const char* name, const std::string& jsonValue);
// A JSON string, or null for nothing.
std::string Nullable(const std::optional<std::string>& text);

// One device or one result alone, as the scan's and join's JSON and tables
// write each (no line break).
std::string DeviceJson(const DeviceReport& device);
std::string DeviceLine(const DeviceReport& device);
std::string ResultJson(const JoinReport& result);
std::string ResultLine(const JoinReport& result);
// "online": null, or the address and interface the unit came online at,
// and whether that is authenticated.
std::string OnlineJson(const std::optional<Online>& online);

// `dropped`: datagrams the system dropped, written as "dropped"; null where
// the system cannot tell (-1).
std::string ScanJson(const std::vector<DeviceReport>& devices, long long dropped);
// The tables write every text from the network through ShowName(), with a
// network's bytes beside its name when the name alone cannot tell it apart.
std::string ScanTable(const std::vector<DeviceReport>& devices);
std::string JoinJson(const std::string& ssid, const TIdBytes& raw, const std::vector<JoinReport>& results,
                     int exitCode, long long dropped);
std::string JoinTable(const std::string& ssid, const TIdBytes& raw, const std::vector<JoinReport>& results);

}  // namespace melvorin::cli
