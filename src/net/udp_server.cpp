#include "net/udp_server.h"

#include <exception>

#include "net/errors.h"
#include "net/handover.h"
#include "net/interfaces.h"
#include "net/listener.h"
#include "net/stack.h"

namespace melvorin::net {

TIdUDPServer::TIdUDPServer(std::string name) : name_(std::move(name)) {
    TIdStack::IncUsage();
    // The thread that creates the endpoint is the window's thread unless one
    // was named before.
    IsMainThread();
}

TIdUDPServer::~TIdUDPServer() {
    CloseEndpoint();
    bindings_.Clear();
    TIdStack::DecUsage();
}

bool TIdUDPServer::Active() const {
    std::lock_guard<std::recursive_mutex> lock(listenersLock_);
    return currentBinding_ != nullptr && currentBinding_->Opened();
}

void TIdUDPServer::SetActive(bool value) {
    if (value) {
        bool active = false;
        {
            std::lock_guard<std::recursive_mutex> lock(listenersLock_);
            active = currentBinding_ != nullptr;
        }
        if (!active) Activate();
    } else {
        CloseEndpoint();
    }
}

void TIdUDPServer::SetBroadcastEnabled(bool value) {
    if (value == broadcastEnabled_) return;
    broadcastEnabled_ = value;
    bool active = false;
    {
        std::lock_guard<std::recursive_mutex> lock(listenersLock_);
        active = currentBinding_ != nullptr;
    }
    if (active) {
        for (int i = 0; i < bindings_.Count(); ++i) bindings_[i].SetBroadcast(broadcastEnabled_);
    }
}

std::vector<std::string> TIdUDPServer::ListenerNames() const {
    std::lock_guard<std::recursive_mutex> lock(listenersLock_);
    std::vector<std::string> names;
    for (const auto& listener : listeners_) names.push_back(listener->Name());
    return names;
}

int TIdUDPServer::ListenerCount() const {
    std::lock_guard<std::recursive_mutex> lock(listenersLock_);
    return static_cast<int>(listeners_.size());
}

void TIdUDPServer::Activate() {
    if (bindings_.Empty()) {
        bindings_.Add().IPVersion = TIdIPVersion::Id_IPv4;
        TIdStack* stack = TIdStack::Instance();
        if (stack != nullptr && stack->SupportsIPv6()) bindings_.Add().IPVersion = TIdIPVersion::Id_IPv6;
    }

    int bound = 0;
    try {
        for (; bound < bindings_.Count(); ++bound) {
            bindings_[bound].AllocateSocket();
            bindings_[bound].Bind();
        }
    } catch (...) {
        // The failing binding keeps its (unbound) socket until the next
        // attempt allocates it anew.
        for (int i = bound - 1; i >= 0; --i) bindings_[i].CloseSocket();
        throw;
    }

    {
        std::lock_guard<std::recursive_mutex> lock(listenersLock_);
        for (int i = 0; i < bindings_.Count(); ++i) {
            auto listener = std::make_unique<TIdUDPListenerThread>(*this, bindings_[i],
                                                                   name_ + " Listener #" + std::to_string(i + 1));
            listener->SetPriorityHighest();
            listeners_.push_back(std::move(listener));
            listeners_.back()->Start();
        }
        currentBinding_ = &bindings_[0];
    }

    // A failure here reaches the caller, but the endpoint stays active.
    for (int i = 0; i < bindings_.Count(); ++i) bindings_[i].SetBroadcast(broadcastEnabled_);
}

void TIdUDPServer::CloseEndpoint() {
    std::lock_guard<std::recursive_mutex> lock(listenersLock_);
    while (!listeners_.empty()) {
        TIdUDPListenerThread& listener = *listeners_.front();
        listener.Stop();
        listener.Binding().CloseSocket();
        // On the window's thread this keeps running hand-overs, so a listener
        // that is handing over a datagram finishes it and then ends.
        listener.WaitFor();
        listeners_.erase(listeners_.begin());
    }
    currentBinding_ = nullptr;
}

void TIdUDPServer::SendDatagram(const std::string& host, std::uint16_t port, const TIdBytes& data) {
    SendDatagramOn(0, host, port, data);
}

void TIdUDPServer::SendDatagramOn(unsigned interfaceIndex, const std::string& host, std::uint16_t port,
                                  const TIdBytes& data) {
    // Resolved before the endpoint is touched: a host that cannot be
    // resolved leaves the endpoint as it was.
    TIdStack* stack = TIdStack::Instance();
    const std::string address = stack != nullptr ? stack->ResolveHost(host) : host;

    TIdSocketHandle* binding = nullptr;
    {
        std::lock_guard<std::recursive_mutex> lock(listenersLock_);
        binding = currentBinding_;
    }
    if (binding == nullptr) {
        Activate();
        std::lock_guard<std::recursive_mutex> lock(listenersLock_);
        binding = currentBinding_;
    }

    std::vector<std::string> wentOut;
    const auto record = [this, &wentOut] {
        std::lock_guard<std::mutex> lock(lastSendLock_);
        lastSendInterfaces_ = std::move(wentOut);
    };
    if (data.empty()) {
        record();
        return;
    }

    const auto bytes = TIdStack::DottedBytes(address);
    if (!bytes) RaiseSocketError(kWSAHostNotFound);

    // A limited broadcast stays on the segment of the interface it leaves
    // by, and the route names one interface at most: it goes out of each
    // interface that can broadcast.
    std::vector<TIdInterface> via;
    if (interfaceIndex != 0) {
        via.push_back({interfaceIndex, InterfaceName(interfaceIndex), {}});
    } else if (address == "255.255.255.255") {
        via = BroadcastInterfaces();
    }
    if (via.empty()) {
        record();
        const std::size_t sent = binding->SendTo(bytes->data(), port, data);
        if (sent < data.size()) throw EIdNotAllBytesSent();
        LogSent("", address, port, data);
        return;
    }

    std::exception_ptr firstFailure;
    for (const TIdInterface& out : via) {
        try {
            const std::size_t sent = binding->SendToOn(out.Index, bytes->data(), port, data);
            if (sent < data.size()) throw EIdNotAllBytesSent();
            wentOut.push_back(out.Name);
            LogSent(out.Name, address, port, data);
        } catch (...) {
            if (!firstFailure) firstFailure = std::current_exception();
        }
    }
    const bool none = wentOut.empty();
    record();
    if (none) std::rethrow_exception(firstFailure);
}

std::vector<std::string> TIdUDPServer::LastSendInterfaces() const {
    std::lock_guard<std::mutex> lock(lastSendLock_);
    return lastSendInterfaces_;
}

void TIdUDPServer::LogSent(const std::string& interfaceName, const std::string& address, std::uint16_t port,
                           const TIdBytes& data) const {
    if (!OnLog) return;
    TIdLogEntry entry;
    entry.Kind = TIdLogKind::Sent;
    entry.Interface = interfaceName;
    entry.PeerIP = address;
    entry.PeerPort = port;
    entry.Data = data;
    OnLog(entry);
}

}  // namespace melvorin::net
