#include "net/socket_handle.h"

#include <cstring>

#include "net/errors.h"
#include "net/sockets.h"
#include "net/stack.h"

namespace melvorin::net {

namespace {

// Raises the error a system call gave (0: none).
void Check(int number) {
    if (number != 0) RaiseSocketError(number);
}

}  // namespace

// Holds the handle open for one call; Open() is false when the socket is closed.
class TIdSocketHandle::Use {
public:
    explicit Use(TIdSocketHandle& binding) : binding_(binding), open_(binding.BeginUse() >= 0) {}
    ~Use() {
        if (open_) binding_.EndUse();
    }
    Use(const Use&) = delete;
    Use& operator=(const Use&) = delete;
    bool Open() const { return open_; }

private:
    TIdSocketHandle& binding_;
    const bool open_;
};

TIdSocketHandle::TIdSocketHandle() = default;

TIdSocketHandle::~TIdSocketHandle() {
    CloseSocket();
}

int TIdSocketHandle::Handle() const {
    std::lock_guard<std::mutex> lock(closeLock_);
    return socket_.Number();
}

bool TIdSocketHandle::Opened() const {
    std::lock_guard<std::mutex> lock(closeLock_);
    return open_;
}

int TIdSocketHandle::BeginUse() {
    std::lock_guard<std::mutex> lock(closeLock_);
    if (!open_) return -1;
    ++uses_;
    return 0;
}

void TIdSocketHandle::EndUse() {
    std::lock_guard<std::mutex> lock(closeLock_);
    if (--uses_ == 0) usesEnded_.notify_all();
}

void TIdSocketHandle::AllocateSocket() {
    CloseSocket();
    std::lock_guard<std::mutex> lock(closeLock_);
    Check(socket_.Open(IPVersion == TIdIPVersion::Id_IPv6));
    open_ = true;
}

void TIdSocketHandle::Bind() {
    const Use use(*this);
    if (!use.Open()) throw EIdCouldNotBindSocket();
    sockaddr_storage address{};
    int length = 0;
    bool ok = true;
    if (IPVersion == TIdIPVersion::Id_IPv6) {
        auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(Port);
        v6->sin6_flowinfo = 0;
        v6->sin6_scope_id = 0;
        if (!IP.empty()) ok = ::inet_pton(AF_INET6, IP.c_str(), &v6->sin6_addr) == 1;
        length = sizeof(sockaddr_in6);
    } else {
        auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
        v4->sin_family = AF_INET;
        v4->sin_port = htons(Port);
        v4->sin_addr.s_addr = htonl(INADDR_ANY);
        if (!IP.empty()) ok = ::inet_pton(AF_INET, IP.c_str(), &v4->sin_addr) == 1;
        length = sizeof(sockaddr_in);
    }
    sockaddr_storage bound{};
    ok = ok && socket_.Bind(reinterpret_cast<sockaddr*>(&address), length, bound);
    if (!ok) throw EIdCouldNotBindSocket();
    const auto* boundAddress = reinterpret_cast<const sockaddr*>(&bound);
    IP = TIdStack::AddressText(boundAddress);
    Port = TIdStack::AddressPort(boundAddress);
    IPVersion = bound.ss_family == AF_INET6 ? TIdIPVersion::Id_IPv6 : TIdIPVersion::Id_IPv4;
}

void TIdSocketHandle::SetBroadcast(bool enabled) {
    const Use use(*this);
    if (!use.Open()) RaiseSocketError(kWSAENOTSOCK);
    Check(socket_.SetBroadcast(enabled));
}

int TIdSocketHandle::SetReceiveBuffer(int bytes) {
    const Use use(*this);
    int held = 0;
    if (use.Open()) static_cast<void>(socket_.SetReceiveBuffer(bytes, held));
    return held;
}

long long TIdSocketHandle::Dropped() {
    const Use use(*this);
    return use.Open() ? socket_.Dropped() : 0;
}

void TIdSocketHandle::CloseSocket() {
    std::unique_lock<std::mutex> lock(closeLock_);
    if (!open_) return;
    open_ = false;
    // Wake a listener waiting on the socket, then close only once nobody
    // uses the handle any more.
    Wake();
    usesEnded_.wait(lock, [this] { return uses_ == 0; });
    socket_.Close();
}

std::size_t TIdSocketHandle::SendTo(const std::uint8_t address[4], std::uint16_t port, ByteView data) {
    return SendToOn(0, address, port, data);
}

std::size_t TIdSocketHandle::SendToOn(unsigned interfaceIndex, const std::uint8_t address[4], std::uint16_t port,
                                      ByteView data) {
    const Use use(*this);
    if (!use.Open()) RaiseSocketError(kWSAENOTSOCK);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    std::memcpy(&to.sin_addr, address, 4);
    std::size_t sent = 0;
    const int number = socket_.SendTo(interfaceIndex, to, data, sent);
    if (number == kWSAEMSGSIZE) throw EIdPackageSizeTooBig();
    Check(number);
    return sent;
}

bool TIdSocketHandle::Readable(int timeoutMs) {
    const Use use(*this);
    if (!use.Open()) RaiseSocketError(kWSAENOTSOCK);
    const int ready = socket_.WaitReadable(timeoutMs);
    if (ready < 0) RaiseSocketError(-ready);
    return ready > 0;
}

void TIdSocketHandle::Wake() {
    socket_.Wake();
}

bool TIdSocketHandle::ReceiveFrom(TIdBytes& buffer, std::string& peerIP, std::uint16_t& peerPort,
                                  unsigned* arrivalInterface) {
    const Use use(*this);
    if (!use.Open()) RaiseSocketError(kWSAENOTSOCK);
    sockaddr_storage from{};
    unsigned arrival = 0;
    const int received = socket_.Receive(buffer, from, arrival);
    if (received < 0) RaiseSocketError(-received);
    if (received == 0) return false;
    peerIP = TIdStack::AddressText(reinterpret_cast<const sockaddr*>(&from));
    peerPort = TIdStack::AddressPort(reinterpret_cast<const sockaddr*>(&from));
    if (arrivalInterface != nullptr) *arrivalInterface = arrival;
    return true;
}

TIdSocketHandle& TIdSocketHandles::Add() {
    items_.push_back(std::make_shared<TIdSocketHandle>());
    items_.back()->Port = DefaultPort;
    return *items_.back();
}

}  // namespace melvorin::net
