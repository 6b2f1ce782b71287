#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace melvorin::net {

enum class TIdIPVersion { Id_IPv4 = 0, Id_IPv6 = 1 };

// One socket of the endpoint (a binding).
class TIdSocketHandle {
public:
    TIdSocketHandle() = default;
    ~TIdSocketHandle();
    TIdSocketHandle(const TIdSocketHandle&) = delete;
    TIdSocketHandle& operator=(const TIdSocketHandle&) = delete;

    int Handle() const;
    bool Opened() const;

    std::string IP;
    std::uint16_t Port = 0;
    TIdIPVersion IPVersion = TIdIPVersion::Id_IPv4;
    // Sender of the last datagram this binding received.
    std::string PeerIP;
    std::uint16_t PeerPort = 0;

    // Allocates the socket (closing an open one first). Raises the socket error.
    void AllocateSocket();
    // Binds to IP and Port and reads the bound address back.
    // Raises EIdCouldNotBindSocket.
    void Bind();
    void SetBroadcast(bool enabled);
    // Shutdown for sending, close, handle -1. Closing a closed socket does nothing.
    void CloseSocket();

    // Waits up to timeoutMs for the socket to become readable, or for Wake().
    // Raises the socket error when the wait itself fails.
    bool Readable(int timeoutMs);
    // Makes a pending Readable() return early (used when stopping).
    void Wake();

private:
    struct Impl;
    friend class TIdUDPListenerThread;
    mutable std::mutex closeLock_;
    int handle_ = -1;
    bool open_ = false;
    std::shared_ptr<Impl> impl_;
};

// The endpoint's ordered collection of bindings.
class TIdSocketHandles {
public:
    TIdSocketHandle& Add();
    int Count() const { return static_cast<int>(items_.size()); }
    bool Empty() const { return items_.empty(); }
    TIdSocketHandle& operator[](int i) { return *items_.at(static_cast<std::size_t>(i)); }
    std::uint16_t DefaultPort = 0;
    void Clear() { items_.clear(); }

private:
    std::vector<std::unique_ptr<TIdSocketHandle>> items_;
};

}  // namespace melvorin::net
