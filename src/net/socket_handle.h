#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "net/system.h"
#include "protocol/bytes.h"

namespace melvorin::net {

enum class TIdIPVersion { Id_IPv4 = 0, Id_IPv6 = 1 };

// One socket of the endpoint (a binding).
//
// The socket may be closed by one thread while another waits on it or reads
// from it. The handle is never closed while such a use is under way: closing
// marks the binding closed, wakes a pending wait and closes the handle once
// the last use has ended, so a listener never waits on a reused handle number.
class TIdSocketHandle {
public:
    // Neither copied nor moved (it holds its locks): bindings are shared.
    TIdSocketHandle();
    ~TIdSocketHandle();

    // The socket's number for the system, -1 when there is none.
    int Handle() const;
    bool Opened() const;

    std::string IP;
    std::uint16_t Port = 0;
    TIdIPVersion IPVersion = TIdIPVersion::Id_IPv4;
    // Sender of the last datagram this binding received (written by its
    // listener before it hands the datagram over).
    std::string PeerIP;
    std::uint16_t PeerPort = 0;
    // Interface the last datagram arrived on (index 0 and "" when unknown).
    unsigned PeerInterfaceIndex = 0;
    std::string PeerInterface;

    // Allocates the socket (closing an open one first). Raises the socket error.
    void AllocateSocket();
    // Binds to IP and Port and reads the bound address back into IP, Port
    // and IPVersion. Raises EIdCouldNotBindSocket.
    void Bind();
    // SO_BROADCAST 1 or 0. Raises the socket error.
    void SetBroadcast(bool enabled);
    // Asks for a receive buffer of `bytes` (a burst of datagrams then waits
    // whole for the listener); returns what the socket got, 0 when unknown.
    int SetReceiveBuffer(int bytes);
    // Datagrams the system dropped for this socket so far; -1 where the
    // system cannot tell, 0 while the socket is closed.
    long long Dropped();
    // Shutdown for sending, close, handle -1. Closing a closed socket does nothing.
    void CloseSocket();

    // Sends one datagram to an IPv4 address (network order bytes) and port;
    // returns the number of bytes sent. Raises EIdPackageSizeTooBig for a
    // datagram that is too long, the socket error for any other failure.
    std::size_t SendTo(const std::uint8_t address[4], std::uint16_t port, ByteView data);
    // The same, out of interface `interfaceIndex` (the kernel's index) only,
    // whatever the routes say; 0 sends as SendTo.
    std::size_t SendToOn(unsigned interfaceIndex, const std::uint8_t address[4], std::uint16_t port,
                         ByteView data);

    // Waits up to timeoutMs for the socket to become readable, or for Wake().
    // Raises the socket error when the wait itself fails (EIdNotASocket when
    // the socket is closed).
    bool Readable(int timeoutMs);
    // Makes a pending Readable() return early (used when stopping).
    void Wake();

    // Receives one datagram into `buffer` (whose size is the most it takes)
    // and cuts the buffer to the datagram's length. A datagram longer than the
    // buffer is dropped and raises socket error 10040. Returns false when no
    // datagram was waiting after all. The sender is stored in `peerIP` and
    // `peerPort`, the interface it arrived on in `arrivalInterface` (0 when
    // unknown) where one is given.
    bool ReceiveFrom(TIdBytes& buffer, std::string& peerIP, std::uint16_t& peerPort,
                     unsigned* arrivalInterface = nullptr);

private:
    // One use of the socket by a call: the handle stays open until it ends.
    class Use;
    int BeginUse();
    void EndUse();

    mutable std::mutex closeLock_;
    std::condition_variable usesEnded_;
    sys::TSocket socket_;  // with the wake-up its waits listen to
    bool open_ = false;
    int uses_ = 0;
};

// The endpoint's ordered collection of bindings.
class TIdSocketHandles {
public:
    // Adds a binding whose Port is DefaultPort.
    TIdSocketHandle& Add();
    int Count() const { return static_cast<int>(items_.size()); }
    bool Empty() const { return items_.empty(); }
    TIdSocketHandle& operator[](int i) { return *items_.at(static_cast<std::size_t>(i)); }
    // The binding shared: a listener keeps its binding alive until it ends.
    std::shared_ptr<TIdSocketHandle> Shared(int i) { return items_.at(static_cast<std::size_t>(i)); }
    std::uint16_t DefaultPort = 0;
    void Clear() { items_.clear(); }

private:
    std::vector<std::shared_ptr<TIdSocketHandle>> items_;
};

}  // namespace melvorin::net
