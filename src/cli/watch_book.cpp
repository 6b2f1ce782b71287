#include "cli/watch_book.h"

#include "cli/options.h"

namespace melvorin::cli {

namespace {

std::string LinkKey(const DeviceReport& device) {
    return (device.interfaceName.empty() ? std::string("-") : device.interfaceName) + " " + device.address;
}

}  // namespace

std::string WatchBook::KeyOf(const DeviceReport& device) { return device.mac ? *device.mac : LinkKey(device); }

WatchBook::Unit* WatchBook::Find(const DeviceReport& device) {
    const std::string key = KeyOf(device);
    auto it = units_.find(key);
    if (it != units_.end()) return &it->second;
    if (!device.mac) return nullptr;
    // First seen before the neighbour table knew it.
    const auto early = units_.find(LinkKey(device));
    if (early == units_.end()) return nullptr;
    Unit unit = early->second;
    units_.erase(early);
    return &units_.emplace(key, unit).first->second;
}

bool WatchBook::Answered(const DeviceReport& device, bool offers) {
    Unit* unit = Find(device);
    if (!offers) return false;
    if (unit == nullptr) unit = &units_.emplace(KeyOf(device), Unit{}).first->second;
    if (unit->joining) return false;
    if (unit->verdict && *unit->verdict != Verdict::NoResult) return false;
    unit->joining = true;
    return true;
}

void WatchBook::Finished(const DeviceReport& device, Verdict verdict) {
    Unit* unit = Find(device);
    if (unit == nullptr) unit = &units_.emplace(KeyOf(device), Unit{}).first->second;
    unit->joining = false;
    unit->verdict = verdict;
}

WatchBook::Summary WatchBook::Summarise() const {
    Summary summary;
    std::vector<JoinReport> last;
    for (const auto& [key, unit] : units_) {
        ++summary.units;
        const Verdict verdict = unit.verdict.value_or(Verdict::NoResult);
        if (verdict == Verdict::Accepted) {
            ++summary.accepted;
        } else if (verdict == Verdict::NoResult) {
            ++summary.noResult;
        } else {
            ++summary.refused;
        }
        JoinReport report;
        report.verdict = verdict;
        last.push_back(report);
    }
    summary.exitCode = last.empty() ? kExitTimeout : CombinedExitCode(last);
    return summary;
}

}  // namespace melvorin::cli
