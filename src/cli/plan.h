#pragma once

// What a join is sent to, decided from a scan: which units offer the network
// (by any of its names), which unit --device names, which requests go out of
// which link, and the results in the order of the units addressed. A unit is
// its link and its address: two units at one address on two links are two
// units, each reached through its own link. No sockets here.

#include <compare>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "cli/report.h"
#include "net/interfaces.h"
#include "protocol/bytes.h"
#include "protocol/secret_bytes.h"
#include "seal/sealed_join.h"
#include "units/hardware_address.h"

namespace melvorin::cli {

struct UnitKey {
    unsigned interfaceIndex = 0;  // the link its replies arrive on; 0 when unknown
    std::string address;          // dotted IPv4; "" for no unit in particular
    auto operator<=>(const UnitKey&) const = default;
};

inline UnitKey KeyOf(const DeviceReport& device) { return {device.interfaceIndex, device.address}; }

// A unit named on the command line (--device): by its IPv4 address or by its
// hardware address (any case, ':' or '-').
struct DeviceChoice {
    std::string text;  // as given
    std::optional<std::string> address;
    std::optional<units::HardwareAddress> hardware;
};
// Nothing when the text is neither.
std::optional<DeviceChoice> ParseDeviceChoice(const std::string& text);
bool Chooses(const DeviceChoice& choice, const DeviceReport& device);
// Every unit of the scan that the choice names (more than one: ambiguous).
std::vector<DeviceReport> ChosenUnits(const std::vector<DeviceReport>& devices, const DeviceChoice& choice);
// Why a choice that names several units is refused, each named by its
// address, hardware address and link.
std::string AmbiguityMessage(const DeviceChoice& choice, const std::vector<DeviceReport>& units);

// The network called `name` by a user: as the table shows it (markers
// included), as the JSON has it, or in its other reading (bytes valid both as
// UTF-8 and as code page 936).
bool NamedBy(const NetworkRow& network, const std::string& name);

// The join request of a network and a key; raises UsageError when the two
// are too long for one. It carries the key: every copy of it is wiped when
// it goes.
SecretBytes JoinFrame(ByteView ssid, ByteView key);

// One unit a join request goes to.
struct Target {
    UnitKey unit;                  // address "" for whoever answers
    std::string interfaceName;
    unsigned sendInterface = 0;    // the link it goes out of; 0: as the scan goes
    SecretBytes frame;
    std::optional<std::string> mac, vendor;
    TIdBytes ssid;                        // the network's bytes in the frame
    std::optional<seal::Advert> advert;   // the seal its unit offered
    // Sealed (SealTargets()): the frame's sender, for its result's tag, and
    // whether the key it went to is to be pinned to the unit.
    std::optional<seal::Sender> sender;
    bool pinNow = false;
    // Nothing is sent to it: its verdict, downgrade_refused or not_sealed.
    std::optional<Verdict> refused;
    std::string refusal;  // why, as its result's message
};

struct NetworkPlan {
    std::vector<Target> targets;  // one for each unit that offers the network
    TIdBytes raw;                 // the first offer's bytes; empty when none
    std::string shown;            // its name as decoded
};
// `broadcast`: the interfaces a request can go out of (BroadcastInterfaces()).
NetworkPlan PlanByName(const std::vector<DeviceReport>& devices, const std::string& name, const TIdBytes& key,
                       const std::vector<net::TIdInterface>& broadcast);
// The target of a unit, in clear: the join request of `ssid` and `key`.
Target TargetOf(const DeviceReport& device, const TIdBytes& ssid, const TIdBytes& key,
                const std::vector<net::TIdInterface>& broadcast);

// A join request, broadcast out of `interfaceIndex` (0: as the scan goes),
// for the units it addresses (none: for whoever answers); sent to `host`
// alone instead when it is not empty.
struct JoinRequest {
    SecretBytes frame;
    unsigned interfaceIndex = 0;
    std::vector<UnitKey> units;
    std::string host;
    // A sealed join (to its one unit): the frame's sender, the nonce it
    // used and the network's bytes, to seal a resend anew.
    std::optional<seal::Sender> sender;
    std::optional<seal::Advert> advert;
    TIdBytes ssid;
};
// One request for each frame and link: units on one link share it (a sealed
// join goes to its unit alone). With `unicast`, one for each unit, sent to
// its own address. Refused targets get none.
std::vector<JoinRequest> GroupByLink(const std::vector<Target>& targets, bool unicast = false);

// The result of `unit` as the results below report it (the hardware address
// known from the scan where the result brought none); nothing when `unit` is
// no target (it heard a broadcast meant for others). For a request to no
// unit in particular, every unit's result counts.
std::optional<JoinReport> CountedResult(const std::vector<Target>& targets, const UnitKey& unit, JoinReport result);

// The results in the order of the targets, no_result where one gave none;
// for a request to no unit in particular, every result that came. A target
// whose link is unknown (0) takes the first result from its address.
std::vector<JoinReport> AssembleResults(const std::vector<Target>& targets,
                                        const std::map<UnitKey, JoinReport>& results);

// The fewest raw bytes a name given by --ssid can stand for: its code page
// 936 or its UTF-8 bytes, each marker "[U+XXXX]" counting as one byte.
std::size_t ShortestRawLength(const std::string& name);

}  // namespace melvorin::cli
