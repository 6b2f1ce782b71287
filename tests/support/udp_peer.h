#pragma once

// A plain UDP socket of the tests, standing in for a device or another host:
// bind, send, receive with a time-out. IPv4, or IPv6 only.

#include "net/sockets.h"

#include <cstdint>
#include <optional>
#include <string>

#include "wire.h"

namespace melvorin::testing {

struct Datagram {
    Octets data;
    std::string fromIP;
    std::uint16_t fromPort = 0;
};

class UdpPeer {
public:
    explicit UdpPeer(int family = AF_INET);
    ~UdpPeer();
    UdpPeer(const UdpPeer&) = delete;
    UdpPeer& operator=(const UdpPeer&) = delete;

    // Binds to `address` (empty: any address) and `port` (0: any free one).
    bool Bind(const std::string& address, std::uint16_t port);
    bool SetBroadcast();
    std::uint16_t LocalPort() const;
    int Fd() const { return fd_; }
    void Close();

    bool SendTo(const std::string& address, std::uint16_t port, const Octets& data);
    // To 127.0.0.1, or ::1 for an IPv6 socket.
    bool SendToLoopback(const Octets& data, std::uint16_t port = 12345);
    // The next datagram within timeoutMs, or nothing.
    std::optional<Datagram> Receive(int timeoutMs);
    // Drops everything queued.
    void Drain();

private:
    int family_;
    int fd_ = -1;
};

// Whether a socket of this family can take the port on the any-address now.
bool PortFree(std::uint16_t port, int family = AF_INET);
// Whether this namespace has IPv6 on its loopback.
bool IPv6OnLoopback();
// An int socket option, or -1.
int SocketIntOption(int fd, int level, int option);
// The bytes waiting to be read on a socket, or -1.
int PendingBytes(int fd);

}  // namespace melvorin::testing
