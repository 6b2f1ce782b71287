#include "cli/plan.h"

#include <algorithm>
#include <utility>

#include "cli/options.h"
#include "cli/route.h"
#include "net/sockets.h"
#include "protocol/cp936.h"
#include "protocol/errors.h"
#include "protocol/join.h"
#include "protocol/shown_name.h"

namespace melvorin::cli {

std::optional<DeviceChoice> ParseDeviceChoice(const std::string& text) {
    DeviceChoice choice;
    choice.text = text;
    in_addr parsed{};
    if (inet_pton(AF_INET, text.c_str(), &parsed) == 1) {
        choice.address = text;
        return choice;
    }
    choice.hardware = units::ParseHardwareAddress(text);
    if (!choice.hardware) return std::nullopt;
    return choice;
}

bool Chooses(const DeviceChoice& choice, const DeviceReport& device) {
    if (choice.address) return device.address == *choice.address;
    return choice.hardware && device.mac && *device.mac == units::FormatHardwareAddress(*choice.hardware);
}

std::vector<DeviceReport> ChosenUnits(const std::vector<DeviceReport>& devices, const DeviceChoice& choice) {
    std::vector<DeviceReport> chosen;
    std::copy_if(devices.begin(), devices.end(), std::back_inserter(chosen),
                 [&choice](const DeviceReport& d) { return Chooses(choice, d); });
    return chosen;
}

std::string AmbiguityMessage(const DeviceChoice& choice, const std::vector<DeviceReport>& units) {
    std::string out = "--device " + choice.text + " is ambiguous: " + std::to_string(units.size()) +
                      " devices answered the scan with it: ";
    for (std::size_t i = 0; i < units.size(); ++i) {
        const DeviceReport& u = units[i];
        out += (i ? "; " : "") + UnitHead(u.address, u.mac, u.vendor, u.interfaceName) +
               (u.mac ? "" : " (hardware address unknown)");
    }
    return out + ". Nothing was sent; name one by its hardware address, or keep to one interface with --interface";
}

bool NamedBy(const NetworkRow& network, const std::string& name) {
    if (ShowName(network.ssid).text == name || network.ssid == name) return true;
    const std::optional<std::string> other = OtherReading(network.raw);
    return other && (*other == name || ShowName(*other).text == name);
}

SecretBytes JoinFrame(ByteView ssid, ByteView key) {
    try {
        return BuildJoinRequest<SecretBytes>(ssid, key);
    } catch (const ERangeError&) {
        throw UsageError("the network name (" + std::to_string(ssid.size()) + " bytes) and the key (" +
                         std::to_string(key.size()) + " bytes) are too long for one join request: together at most 251");
    }
}

Target TargetOf(const DeviceReport& device, const TIdBytes& ssid, const TIdBytes& key,
                const std::vector<net::TIdInterface>& broadcast) {
    return {KeyOf(device), device.interfaceName, UsableInterface(device.interfaceIndex, broadcast), JoinFrame(ssid, key),
            device.mac, device.vendor, ssid, device.advert, {}, false, {}, {}};
}

NetworkPlan PlanByName(const std::vector<DeviceReport>& devices, const std::string& name, const TIdBytes& key,
                       const std::vector<net::TIdInterface>& broadcast) {
    NetworkPlan plan;
    plan.shown = name;
    for (const DeviceReport& device : devices) {
        const auto offer = std::find_if(device.networks.begin(), device.networks.end(),
                                        [&name](const NetworkRow& n) { return NamedBy(n, name); });
        if (offer == device.networks.end()) continue;
        if (plan.raw.empty()) {
            plan.raw = offer->raw;
            plan.shown = offer->ssid;
        }
        plan.targets.push_back(TargetOf(device, offer->raw, key, broadcast));
    }
    return plan;
}

std::vector<JoinRequest> GroupByLink(const std::vector<Target>& targets, bool unicast) {
    std::vector<JoinRequest> requests;
    for (const Target& t : targets) {
        if (t.refused) continue;
        if (unicast || t.sender) {
            requests.push_back({t.frame, t.sendInterface, {t.unit}, unicast ? t.unit.address : "", t.sender, t.advert,
                                t.ssid});
            continue;
        }
        auto same = std::find_if(requests.begin(), requests.end(), [&t](const JoinRequest& r) {
            return r.frame == t.frame && r.interfaceIndex == t.sendInterface;
        });
        if (same == requests.end()) same = requests.insert(requests.end(), {t.frame, t.sendInterface, {}, {}, {}, {}, {}});
        if (!t.unit.address.empty()) same->units.push_back(t.unit);
    }
    return requests;
}

namespace {

// Whether `unit`'s result is `target`'s: a unit addressed without its link
// answers on whichever it is on.
bool AnswersFor(const Target& target, const UnitKey& unit) {
    return target.unit == unit || (target.unit.interfaceIndex == 0 && target.unit.address == unit.address);
}

void AddScanned(JoinReport& report, const Target& target) {
    if (report.mac) return;
    report.mac = target.mac;
    report.vendor = target.vendor;
}

}  // namespace

std::optional<JoinReport> CountedResult(const std::vector<Target>& targets, const UnitKey& unit, JoinReport result) {
    if (targets.empty() || targets.front().unit.address.empty()) return result;
    const auto target = std::find_if(targets.begin(), targets.end(), [&unit](const Target& t) { return AnswersFor(t, unit); });
    if (target == targets.end() || target->refused) return std::nullopt;
    AddScanned(result, *target);
    return result;
}

std::vector<JoinReport> AssembleResults(const std::vector<Target>& targets,
                                        const std::map<UnitKey, JoinReport>& results) {
    std::vector<JoinReport> out;
    if (targets.empty() || targets.front().unit.address.empty()) {
        for (const auto& entry : results) out.push_back(entry.second);
        return out;
    }
    for (const Target& t : targets) {
        auto it = results.find(t.unit);
        if (t.unit.interfaceIndex == 0) {
            it = std::find_if(results.begin(), results.end(), [&t](const auto& entry) { return AnswersFor(t, entry.first); });
        }
        // A unit refused the key answers no join of its own (one meant for
        // others it heard does not count).
        if (t.refused) it = results.end();
        JoinReport report = it != results.end()
                                ? it->second
                                : JoinReport{t.unit.address, t.interfaceName, t.refused.value_or(Verdict::NoResult),
                                             t.refusal, {}, {}, false, {}};
        report.sealed = t.sender.has_value();
        AddScanned(report, t);
        out.push_back(std::move(report));
    }
    return out;
}

std::size_t ShortestRawLength(const std::string& name) {
    std::size_t length = name.size();
    try {
        length = std::min(length, TextToCp936(name).size());
    } catch (const Exception&) {
    }
    for (std::size_t at = name.find("[U+"); at != std::string::npos; at = name.find("[U+", at + 3)) {
        length -= std::min<std::size_t>(length, 7);
    }
    return length;
}

}  // namespace melvorin::cli
