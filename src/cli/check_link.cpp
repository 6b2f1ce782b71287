#include "cli/check_link.h"

#include <chrono>

#include "cli/plan.h"
#include "cli/route.h"
#include "net/interfaces.h"
#include "protocol/ports.h"
#include "protocol/scan.h"

namespace melvorin::cli {

UnitLink::UnitLink(std::uint16_t port, const DeviceReport& unit)
    : port_(port), address_(unit.address), interfaceIndex_(unit.interfaceIndex),
      sendInterface_(UsableInterface(unit.interfaceIndex, net::BroadcastInterfaces())) {
    endpoint_ = std::make_unique<net::TIdUDPServer>(handOver_, "check");
    endpoint_->SetBroadcastEnabled(true);
    endpoint_->SetDefaultPort(kReplyPort);
    endpoint_->ThreadedEvent = true;
    endpoint_->OnUDPRead = [this](net::TIdUDPListenerThread&, const TIdBytes& data, net::TIdSocketHandle& binding) {
        if (binding.PeerIP != address_) return;
        if (interfaceIndex_ != 0 && binding.PeerInterfaceIndex != 0 && binding.PeerInterfaceIndex != interfaceIndex_) {
            return;  // another unit at the same address, behind another link
        }
        const std::lock_guard<std::mutex> hold(lock_);
        received_.push_back(data);
        came_.notify_all();
    };
}

UnitLink::~UnitLink() {
    // Listeners still reading find everything in place.
    endpoint_.reset();
}

void UnitLink::Send(const TIdBytes& datagram) {
    endpoint_->SendDatagramOn(sendInterface_, kBroadcastHost, port_, datagram);
}

std::vector<TIdBytes> UnitLink::Collect(std::size_t count, double seconds) {
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                              std::chrono::duration<double>(seconds));
    std::unique_lock<std::mutex> hold(lock_);
    came_.wait_until(hold, deadline, [this, count] { return received_.size() >= count; });
    std::vector<TIdBytes> out(received_.begin(), received_.end());
    received_.clear();
    return out;
}

}  // namespace melvorin::cli
