// The transport's system interface on Windows: Windows Sockets 2 with an
// event per socket and one to wake a wait, IP_UNICAST_IF around a send out
// of one interface, WSARecvMsg for the interface a datagram arrived on.
// The interface list is in interfaces_windows.cpp.

#include <winsock2.h>
#include <ws2tcpip.h>
#include <mswsock.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <mutex>

#include "net/errors.h"
#include "net/system.h"
#include "net/utf8_windows.h"

namespace melvorin::net::sys {

namespace {

// The longest a send waits for room in a full send buffer, and the slices
// of that wait.
constexpr ULONGLONG kSendWaitMs = 5000;
constexpr ULONGLONG kSendWaitSliceMs = 50;

SOCKET Sock(std::intptr_t handle) { return static_cast<SOCKET>(handle); }
HANDLE Event(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }
std::intptr_t NoSocket() { return static_cast<std::intptr_t>(INVALID_SOCKET); }

std::string SystemText(DWORD number) {
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, number,
        0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string out = length > 0 ? Utf8(text) : std::string();
    ::LocalFree(text);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ')) out.pop_back();
    return out;
}

LPFN_WSARECVMSG RecvMsgFunction(SOCKET s) {
    GUID id = WSAID_WSARECVMSG;
    LPFN_WSARECVMSG function = nullptr;
    DWORD bytes = 0;
    if (::WSAIoctl(s, SIO_GET_EXTENSION_FUNCTION_POINTER, &id, sizeof id, &function, sizeof function, &bytes, nullptr,
                   nullptr) != 0) {
        return nullptr;
    }
    return function;
}

}  // namespace

std::string StartSockets() {
    static std::mutex lock;
    static bool started = false;
    std::lock_guard<std::mutex> guard(lock);
    if (started) return {};
    WSADATA data{};
    const int result = ::WSAStartup(MAKEWORD(2, 2), &data);
    if (result != 0) {
        // A failed start leaves nothing to clean up: it is tried anew next time.
        return "Error on loading Winsock2 library (WS2_32.DLL): " + SystemText(static_cast<DWORD>(result));
    }
    // Cleaned up when the process ends.
    started = true;
    return {};
}

// Windows grants a socket's receive buffer as asked.
std::string RaiseReceiveBufferCap(int) { return {}; }

bool IPv6Usable() {
    const SOCKET s = ::WSASocketW(AF_INET6, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET) return false;
    ::closesocket(s);
    return true;
}

TSocket::TSocket()
    : socket_(NoSocket()),
      wake_(reinterpret_cast<std::intptr_t>(::CreateEventW(nullptr, TRUE, FALSE, nullptr))),
      event_(reinterpret_cast<std::intptr_t>(::WSACreateEvent())) {}

TSocket::~TSocket() {
    Close();
    if (wake_ != 0) ::CloseHandle(Event(wake_));
    if (Event(event_) != WSA_INVALID_EVENT) ::WSACloseEvent(Event(event_));
}

bool TSocket::Valid() const { return socket_ != NoSocket(); }

int TSocket::Number() const { return Valid() ? static_cast<int>(socket_) : -1; }

int TSocket::Open(bool v6) {
    Close();
    const SOCKET s = ::WSASocketW(v6 ? AF_INET6 : AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0,
                                  WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET) return ::WSAGetLastError();
    socket_ = static_cast<std::intptr_t>(s);
    if (v6) {
        // Windows keeps IPv6 sockets to IPv6 by default; said anyway, so that
        // this one and the IPv4 socket both hold the port.
        const DWORD only = 1;
        if (::setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&only), sizeof only) != 0) {
            const int error = ::WSAGetLastError();
            Close();
            return error;
        }
    }
    // The socket's readiness sets its event (and makes the socket
    // non-blocking, so a receive never waits).
    if (::WSAEventSelect(s, Event(event_), FD_READ) != 0) {
        const int error = ::WSAGetLastError();
        Close();
        return error;
    }
    ::ResetEvent(Event(wake_));
    return 0;
}

void TSocket::Close() {
    if (!Valid()) return;
    ::shutdown(Sock(socket_), SD_SEND);
    ::closesocket(Sock(socket_));
    ::WSAResetEvent(Event(event_));
    socket_ = NoSocket();
}

bool TSocket::Bind(const sockaddr* address, int length, sockaddr_storage& bound) {
    int boundLength = sizeof bound;
    if (::bind(Sock(socket_), address, length) != 0 ||
        ::getsockname(Sock(socket_), reinterpret_cast<sockaddr*>(&bound), &boundLength) != 0) {
        return false;
    }
    const DWORD on = 1;
    const char* value = reinterpret_cast<const char*>(&on);
    [[maybe_unused]] const int result = bound.ss_family == AF_INET6
                                            ? ::setsockopt(Sock(socket_), IPPROTO_IPV6, IPV6_PKTINFO, value, sizeof on)
                                            : ::setsockopt(Sock(socket_), IPPROTO_IP, IP_PKTINFO, value, sizeof on);
    return true;
}

int TSocket::SetBroadcast(bool enabled) {
    const BOOL value = enabled ? TRUE : FALSE;
    return ::setsockopt(Sock(socket_), SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&value), sizeof value) !=
                   0
               ? ::WSAGetLastError()
               : 0;
}

int TSocket::SetReceiveBuffer(int bytes, int& held) {
    held = 0;
    const SOCKET s = Sock(socket_);
    if (::setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bytes), sizeof bytes) != 0) {
        return ::WSAGetLastError();
    }
    int size = 0;
    int length = sizeof size;
    if (::getsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<char*>(&size), &length) == 0) held = size;
    return 0;
}

// Windows Sockets do not tell what they dropped.
long long TSocket::Dropped() const { return -1; }

int TSocket::SendTo(unsigned interfaceIndex, const sockaddr_in& to, ByteView data, std::size_t& sent) {
    const SOCKET s = Sock(socket_);
    // IP_UNICAST_IF (the index in network order) picks the interface for the
    // sends that follow; it is taken back after this one. A control message
    // with the interface would be the other way, but not every
    // implementation of the interface honours it.
    if (interfaceIndex != 0) {
        const DWORD index = htonl(interfaceIndex);
        if (::setsockopt(s, IPPROTO_IP, IP_UNICAST_IF, reinterpret_cast<const char*>(&index), sizeof index) != 0) {
            return ::WSAGetLastError();
        }
    }
    int result = SOCKET_ERROR;
    int error = 0;
    // The event makes the socket non-blocking: a send that finds the send
    // buffer full waits for room, as a blocking send does on Linux, for up
    // to kSendWaitMs and only until the socket is closing (Wake()).
    const ULONGLONG deadline = ::GetTickCount64() + kSendWaitMs;
    for (;;) {
        result = ::sendto(s, reinterpret_cast<const char*>(data.data()), static_cast<int>(data.size()), 0,
                          reinterpret_cast<const sockaddr*>(&to), sizeof to);
        error = result == SOCKET_ERROR ? ::WSAGetLastError() : 0;
        if (error != WSAEWOULDBLOCK) break;
        if (::WaitForSingleObject(Event(wake_), 0) == WAIT_OBJECT_0) {
            error = WSAENOTSOCK;
            break;
        }
        const ULONGLONG now = ::GetTickCount64();
        if (now >= deadline) break;
        // select() cannot watch the wake-up: the wait is cut into slices.
        const ULONGLONG slice = std::min<ULONGLONG>(deadline - now, kSendWaitSliceMs);
        fd_set writable;
        FD_ZERO(&writable);
        FD_SET(s, &writable);
        timeval timeout{0, static_cast<long>(slice * 1000)};
        if (::select(0, nullptr, &writable, nullptr, &timeout) == SOCKET_ERROR) {
            error = ::WSAGetLastError();
            break;
        }
    }
    if (interfaceIndex != 0) {
        const DWORD any = 0;
        ::setsockopt(s, IPPROTO_IP, IP_UNICAST_IF, reinterpret_cast<const char*>(&any), sizeof any);
    }
    if (error != 0) return error;
    sent = static_cast<std::size_t>(result);
    return 0;
}

int TSocket::WaitReadable(int timeoutMs) {
    const HANDLE events[2] = {Event(event_), Event(wake_)};
    const DWORD result =
        ::WSAWaitForMultipleEvents(2, events, FALSE, static_cast<DWORD>(timeoutMs < 0 ? 0 : timeoutMs), FALSE);
    // The wake-up stays set until the socket is opened again: a send waiting
    // for room sees it too.
    if (result == WSA_WAIT_EVENT_0 + 1) return 0;
    if (result == WSA_WAIT_TIMEOUT) return 0;
    // The wait's own failure is a system error number (an invalid handle),
    // not a Windows Sockets one.
    if (result == WSA_WAIT_FAILED) return -kWSASysCallFailure;
    // Readable; the event is set again by the next datagram, or by the
    // receive that leaves one waiting.
    WSANETWORKEVENTS happened{};
    if (::WSAEnumNetworkEvents(Sock(socket_), Event(event_), &happened) != 0) return -::WSAGetLastError();
    return 1;
}

void TSocket::Wake() {
    if (wake_ != 0) ::SetEvent(Event(wake_));
}

int TSocket::Receive(TIdBytes& buffer, sockaddr_storage& from, unsigned& arrivalInterface) {
    const SOCKET s = Sock(socket_);
    static const LPFN_WSARECVMSG recvMsg = RecvMsgFunction(s);
    char control[WSA_CMSG_SPACE(sizeof(IN6_PKTINFO)) + WSA_CMSG_SPACE(sizeof(IN_PKTINFO))] = {};
    WSABUF part{static_cast<ULONG>(buffer.size()), reinterpret_cast<char*>(buffer.data())};
    WSAMSG message{};
    message.name = reinterpret_cast<sockaddr*>(&from);
    message.namelen = sizeof from;
    message.lpBuffers = &part;
    message.dwBufferCount = 1;
    message.Control = {sizeof control, control};
    DWORD received = 0;
    int result = 0;
    if (recvMsg != nullptr) {
        result = recvMsg(s, &message, &received, nullptr, nullptr);
    } else {
        int fromLength = sizeof from;
        const int got = ::recvfrom(s, reinterpret_cast<char*>(buffer.data()), static_cast<int>(buffer.size()), 0,
                                   reinterpret_cast<sockaddr*>(&from), &fromLength);
        result = got == SOCKET_ERROR ? SOCKET_ERROR : 0;
        received = got == SOCKET_ERROR ? 0 : static_cast<DWORD>(got);
        message.Control.len = 0;
    }
    if (result == SOCKET_ERROR) {
        const int error = ::WSAGetLastError();
        if (error == WSAEWOULDBLOCK) return 0;
        // WSAEMSGSIZE: the datagram was longer than the buffer and is gone.
        return -error;
    }
    buffer.resize(received);
    arrivalInterface = 0;
    for (WSACMSGHDR* c = WSA_CMSG_FIRSTHDR(&message); c != nullptr; c = WSA_CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
            IN_PKTINFO info{};
            std::memcpy(&info, WSA_CMSG_DATA(c), sizeof info);
            arrivalInterface = info.ipi_ifindex;
        } else if (c->cmsg_level == IPPROTO_IPV6 && c->cmsg_type == IPV6_PKTINFO) {
            IN6_PKTINFO info{};
            std::memcpy(&info, WSA_CMSG_DATA(c), sizeof info);
            arrivalInterface = info.ipi6_ifindex;
        }
    }
    return 1;
}

// A thread description may be as long as it needs to be.
std::size_t ThreadNameLimit() { return 0; }

void NameThisThread(const std::string& name) {
    // Windows 10 1607 and later name threads; earlier ones do without.
    using SetDescription = HRESULT(WINAPI*)(HANDLE, PCWSTR);
    static const auto set = reinterpret_cast<SetDescription>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "SetThreadDescription")));
    if (set == nullptr) return;
    std::wstring wide(name.size() + 1, L'\0');
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, name.data(), static_cast<int>(name.size()), wide.data(),
                                             static_cast<int>(wide.size()));
    wide.resize(static_cast<std::size_t>(length > 0 ? length : 0));
    set(::GetCurrentThread(), wide.c_str());
}

void RaiseThisThreadsPriority() {
    ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
}

}  // namespace melvorin::net::sys
