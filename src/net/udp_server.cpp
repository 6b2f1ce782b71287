#include "net/udp_server.h"

#include <algorithm>
#include <exception>

#include "net/errors.h"
#include "net/handover.h"
#include "net/interfaces.h"
#include "net/listener.h"
#include "net/stack.h"
#include "net/system.h"
#include "protocol/secret_bytes.h"

namespace melvorin::net {

TIdUDPServer::TIdUDPServer(THandOver& handOver, std::string name) : handOver_(handOver), name_(std::move(name)) {
    TIdStack::IncUsage();
}

TIdUDPServer::~TIdUDPServer() {
    CloseEndpoint();
    bindings_.Clear();
    TIdStack::DecUsage();
}

bool TIdUDPServer::Active() const {
    std::lock_guard<std::mutex> lock(listenersLock_);
    return currentBinding_ != nullptr && currentBinding_->Opened();
}

void TIdUDPServer::SetActive(bool value) {
    if (value) {
        bool active = false;
        {
            std::lock_guard<std::mutex> lock(listenersLock_);
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
        std::lock_guard<std::mutex> lock(listenersLock_);
        active = currentBinding_ != nullptr;
    }
    if (active) {
        for (int i = 0; i < bindings_.Count(); ++i) bindings_[i].SetBroadcast(broadcastEnabled_);
    }
}

std::vector<std::string> TIdUDPServer::ListenerNames() const {
    std::lock_guard<std::mutex> lock(listenersLock_);
    std::vector<std::string> names;
    for (const auto& listener : listeners_) names.push_back(listener->Name());
    return names;
}

int TIdUDPServer::ListenerCount() const {
    std::lock_guard<std::mutex> lock(listenersLock_);
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
    receiveBufferHeld_ = 0;
    for (int i = 0; i < bindings_.Count(); ++i) {
        const int held = bindings_[i].SetReceiveBuffer(kReceiveBufferWanted);
        receiveBufferHeld_ = i == 0 ? held : std::min(receiveBufferHeld_, held);
    }

    {
        std::lock_guard<std::mutex> lock(listenersLock_);
        for (int i = 0; i < bindings_.Count(); ++i) {
            auto listener = std::make_unique<TIdUDPListenerThread>(*this, handOver_, bindings_.Shared(i),
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

// Closes the endpoint, in this one place, and holds no lock while it waits:
//
// 1. Take the listeners out of the list and forget the current binding (the
//    only step under the list's lock). The endpoint now reads inactive, and a
//    handler that asks about it or closes it again does not wait for us.
// 2. Stop: set each listener's stop flag.
// 3. Wake: close each binding's socket, which wakes a listener waiting on it.
// 4. A listener whose handler is running on this thread (we are closing from
//    inside that handler) cannot end before we return: let it go. It ends,
//    and frees itself, as soon as the handler returns.
// 5. Keep running hand-overs until every other listener has finished: one
//    that is handing over a datagram or an error gets it run here, then sees
//    its stop flag. Off the window's thread this is a plain wait.
// 6. Join them (destroying the listeners joins their threads).
void TIdUDPServer::CloseEndpoint() {
    std::vector<std::unique_ptr<TIdUDPListenerThread>> closing;
    {
        std::lock_guard<std::mutex> lock(listenersLock_);
        closing.swap(listeners_);
        currentBinding_ = nullptr;
    }
    for (auto& listener : closing) listener->Stop();
    for (auto& listener : closing) listener->Binding().CloseSocket();
    for (auto& listener : closing) {
        // From here on its own thread owns it.
        if (listener->LetGoIfHandlingHere()) static_cast<void>(listener.release());
    }
    std::erase(closing, nullptr);
    handOver_.RunUntil([&closing] {
        return std::all_of(closing.begin(), closing.end(), [](const auto& listener) { return listener->Finished(); });
    });
    closing.clear();
}

std::string TIdUDPServer::RaiseReceiveBufferCap() { return sys::RaiseReceiveBufferCap(kReceiveBufferWanted); }

long long TIdUDPServer::Dropped() {
    long long total = 0;
    for (int i = 0; i < bindings_.Count(); ++i) {
        const long long dropped = bindings_[i].Dropped();
        if (dropped < 0) return -1;
        total += dropped;
    }
    return total;
}

void TIdUDPServer::LogDropped(const std::string& message) const {
    if (!OnLog) return;
    TIdLogEntry entry;
    entry.Kind = TIdLogKind::Dropped;
    entry.Message = message;
    OnLog(entry);
}

void TIdUDPServer::SendDatagram(const std::string& host, std::uint16_t port, const TIdBytes& data) {
    SendDatagramOn(0, host, port, data);
}

void TIdUDPServer::SendDatagramOn(unsigned interfaceIndex, const std::string& host, std::uint16_t port,
                                  ByteView data) {
    {
        // Forgets the last send's interfaces and failures first, so that a
        // failure before anything goes out (resolving, binding) reports none.
        std::lock_guard<std::mutex> lock(lastSendLock_);
        lastSendInterfaces_.clear();
        lastSendFailures_.clear();
    }
    // Resolves the host before touching the endpoint, so that a host that
    // cannot be resolved leaves the endpoint as it was.
    TIdStack* stack = TIdStack::Instance();
    const std::string address = stack != nullptr ? stack->ResolveHost(host) : host;

    TIdSocketHandle* binding = nullptr;
    {
        std::lock_guard<std::mutex> lock(listenersLock_);
        binding = currentBinding_;
    }
    if (binding == nullptr) {
        Activate();
        std::lock_guard<std::mutex> lock(listenersLock_);
        binding = currentBinding_;
    }

    std::vector<std::string> wentOut;
    std::vector<TIdSendFailure> failed;
    const auto record = [this, &wentOut, &failed] {
        std::lock_guard<std::mutex> lock(lastSendLock_);
        lastSendInterfaces_ = std::move(wentOut);
        lastSendFailures_ = std::move(failed);
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
    } else if (std::all_of(bytes->begin(), bytes->end(), [](std::uint8_t b) { return b == 0xFF; })) {
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
        } catch (const std::exception& e) {
            const auto* error = dynamic_cast<const Exception*>(&e);
            failed.push_back({out.Name, error != nullptr ? error->Message() : std::string(e.what())});
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

std::vector<TIdSendFailure> TIdUDPServer::LastSendFailures() const {
    std::lock_guard<std::mutex> lock(lastSendLock_);
    return lastSendFailures_;
}

void TIdUDPServer::LogSent(const std::string& interfaceName, const std::string& address, std::uint16_t port,
                           ByteView data) const {
    if (!OnLog) return;
    TIdLogEntry entry;
    entry.Kind = TIdLogKind::Sent;
    entry.Interface = interfaceName;
    entry.PeerIP = address;
    entry.PeerPort = port;
    entry.Data.assign(data.begin(), data.end());
    OnLog(entry);
    // A join request's copy holds a key.
    WipeBytes(entry.Data.data(), entry.Data.size());
}

}  // namespace melvorin::net
