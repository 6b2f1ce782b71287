#pragma once

// What the transport needs of the operating system, in one narrow interface.
// system_linux.cpp and system_windows.cpp implement it; the endpoint, its
// bindings, listeners, hand-over and close sequence above it are common code.
// The interface list (interfaces.h) is in system_linux.cpp on Linux and in
// interfaces_windows.cpp on Windows.
// Errors are Windows Sockets numbers (0: none).
//
// A port to another system adds its files, chosen in CMakeLists.txt:
// system_<name>.cpp (split in two where it grows long, as Windows' is), which
// provides everything below and in interfaces.h, and neighbours_<name>.cpp
// and local_listeners_<name>.cpp for neighbours.h and local_listeners.h.
// Together they provide:
// - a wake-up that ends a WaitReadable() from another thread at any time and
//   can be cleared (Linux: an eventfd; Windows: an event object);
// - the arrival interface of each received datagram, for IPv4 and IPv6
//   (Linux: IP_PKTINFO/IPV6_RECVPKTINFO; 0 where the system cannot tell);
// - sending out of one chosen interface (Linux: IP_PKTINFO on the send);
// - whether IPv6 is usable (Linux also reads /proc/sys/net/ipv6);
// - the broadcast-capable interfaces and interface names (getifaddrs);
// - thread names and priority, which may do nothing;
// - its errors as Windows Sockets numbers: on a system with BSD sockets
//   errors_posix.cpp maps errno, as on Linux.
// Code page 936 has its own seam (protocol/cp936_system.h: iconv on POSIX
// systems), and the command line its own (cli/system.h).

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "protocol/bytes.h"

struct sockaddr;
struct sockaddr_in;
struct sockaddr_storage;

namespace melvorin::net::sys {

// Starts the system's socket layer where it needs that, once per process
// (a failed start is tried again at the next call). Returns "" or the
// failure's message.
std::string StartSockets();
// True when IPv6 datagram sockets can be made and carry traffic.
bool IPv6Usable();
// The system setting that caps a socket's receive buffer, as the command
// that raises it to `bytes` ("" where the system has none to tell of).
std::string RaiseReceiveBufferCap(int bytes);

// One datagram socket and the wake-up a wait on it listens to. Not locked:
// its owner makes sure Close() does not run while another call uses it.
// Wake() may be called at any time; its owner calls it before Close(), and
// it ends a pending wait (and a send waiting for room).
class TSocket {
public:
    TSocket();
    ~TSocket();
    TSocket(const TSocket&) = delete;
    TSocket& operator=(const TSocket&) = delete;

    bool Valid() const;
    // The socket's number for the system (-1 when there is none).
    int Number() const;

    // Makes the socket (closing an open one first) and clears a pending
    // wake-up. IPv6 sockets carry IPv6 only. Returns the error.
    int Open(bool v6);
    // Shutdown for sending and close. Closing a closed socket does nothing.
    void Close();
    // Binds and reads the bound address back. Also asks for the arrival
    // interface of each datagram (where the system cannot, it stays unknown).
    bool Bind(const sockaddr* address, int length, sockaddr_storage& bound);
    int SetBroadcast(bool enabled);
    // Asks for a receive buffer of `bytes`, so that a burst of datagrams
    // waits whole until it is read, and reads back what the socket got (in
    // the same measure; 0 when it cannot be read). Returns the error.
    int SetReceiveBuffer(int bytes, int& held);
    // Datagrams the system dropped for this socket so far (its receive
    // buffer full), or -1 where the system cannot tell.
    long long Dropped() const;
    // Sends one datagram, out of interface `interfaceIndex` only when it is
    // not 0; the source port is the socket's. A full send buffer makes it
    // wait for room, as a blocking socket does.
    int SendTo(unsigned interfaceIndex, const sockaddr_in& to, ByteView data, std::size_t& sent);
    // Waits up to timeoutMs. 1: readable, 0: timed out or woken, else
    // -(the error).
    int WaitReadable(int timeoutMs);
    void Wake();
    // Receives one datagram without blocking. 1: received (buffer cut to its
    // length), 0: none waiting, else -(the error); a datagram longer than the
    // buffer is dropped and gives -10040.
    int Receive(TIdBytes& buffer, sockaddr_storage& from, unsigned& arrivalInterface);

private:
    std::intptr_t socket_;
    std::intptr_t wake_;
    std::intptr_t event_;  // the socket's readiness, where the system needs one
    // The drop count the last datagram came with, where the system tells it.
    std::atomic<std::uint32_t> dropped_{0};
};

// The longest thread name the system keeps, in bytes (0: any length).
std::size_t ThreadNameLimit();
// The calling thread's name for the system (already cut to
// ThreadNameLimit()), and the highest priority where the process may raise
// it.
void NameThisThread(const std::string& name);
void RaiseThisThreadsPriority();

}  // namespace melvorin::net::sys
