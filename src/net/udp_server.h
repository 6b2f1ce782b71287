#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "net/log.h"
#include "net/socket_handle.h"
#include "protocol/bytes.h"
#include "protocol/sender.h"

namespace melvorin::net {

class THandOver;
class TIdUDPListenerThread;

// An interface a send could not go out of, and the error's message.
struct TIdSendFailure {
    std::string Interface;
    std::string Message;
};

using TUDPReadEvent =
    std::function<void(TIdUDPListenerThread& AThread, const TIdBytes& AData, TIdSocketHandle& ABinding)>;
// AExceptionClass is the kind's name, e.g. "EIdSocketError".
using TIdUDPExceptionEvent = std::function<void(TIdUDPListenerThread& AThread, TIdSocketHandle& ABinding,
                                                const std::string& AMessage, const std::string& AExceptionClass)>;

// The UDP endpoint: one or two bound sockets (IPv4, and IPv6 where the
// platform has it), one listener thread per socket, and SendDatagram.
// Events run on the thread of `handOver` (the window's thread), or, with
// ThreadedEvent, on the listener's own thread. OnLog is called on the
// listeners' threads for what they receive and on the sending thread for
// what it sends. `handOver` must outlive the endpoint. Create, send, close
// and destroy on the hand-over's thread.
class TIdUDPServer : public IDatagramSender {
public:
    explicit TIdUDPServer(THandOver& handOver, std::string name = "");
    ~TIdUDPServer() override;
    TIdUDPServer(const TIdUDPServer&) = delete;
    TIdUDPServer& operator=(const TIdUDPServer&) = delete;

    // Sends one datagram; the first call activates the endpoint. A limited
    // broadcast (255.255.255.255) goes out of every broadcast interface (or
    // by the route where there is none) and fails only when it failed on
    // every interface, with the first failure's error.
    void SendDatagram(const std::string& host, std::uint16_t port, const TIdBytes& data) override;
    // The same, out of interface `interfaceIndex` only; 0 sends as
    // SendDatagram does. The bytes are sent from where they are: no copy of
    // them is kept (the wire log's is wiped once logged).
    void SendDatagramOn(unsigned interfaceIndex, const std::string& host, std::uint16_t port, ByteView data);
    // Names of the interfaces the last send went out of; empty when it went
    // by the route.
    std::vector<std::string> LastSendInterfaces() const;
    // The interfaces the last send could not go out of, and why.
    std::vector<TIdSendFailure> LastSendFailures() const;

    bool Active() const;
    // false closes the endpoint; true activates it. Closing from inside one
    // of the endpoint's own handlers returns without waiting for that
    // handler's listener, which ends by itself once the handler returns.
    void SetActive(bool value);

    // Set BufferSize, ThreadedEvent, the events and the bindings before the
    // endpoint is activated: the listeners read them while they run.

    bool BroadcastEnabled() const { return broadcastEnabled_; }
    void SetBroadcastEnabled(bool value);

    std::uint16_t DefaultPort() const { return bindings_.DefaultPort; }
    void SetDefaultPort(std::uint16_t port) { bindings_.DefaultPort = port; }

    TIdSocketHandles& Bindings() { return bindings_; }
    const std::string& Name() const { return name_; }
    // The hand-over its events run through.
    THandOver& HandOver() const { return handOver_; }

    std::int32_t BufferSize = 8192;
    bool ThreadedEvent = false;
    TIdIPVersion IPVersion = TIdIPVersion::Id_IPv4;
    TUDPReadEvent OnUDPRead;
    TIdUDPExceptionEvent OnUDPException;
    // Wire log: datagrams sent and received, errors dropped. Unset: silent.
    TIdLogEvent OnLog;
    // Reports an error that is dropped on purpose (kind and message) to OnLog.
    void LogDropped(const std::string& message) const;

    // Each socket asks for a receive buffer this large once bound: the
    // replies of a segment full of devices, answering at once, wait whole
    // for the listener.
    static constexpr int kReceiveBufferWanted = 4 * 1024 * 1024;
    // The smallest receive buffer a socket got at the last activation; 0
    // before it, or when the system does not say.
    int ReceiveBufferHeld() const { return receiveBufferHeld_; }
    // The command that raises the system's cap on receive buffers to
    // kReceiveBufferWanted ("" where the system has none to tell of).
    static std::string RaiseReceiveBufferCap();
    // Datagrams the system dropped on the open sockets (their receive
    // buffers full); -1 where the system cannot tell.
    long long Dropped();

    // Names of the running listeners' threads, in binding order.
    std::vector<std::string> ListenerNames() const;
    int ListenerCount() const;

private:
    void Activate();
    void CloseEndpoint();
    void LogSent(const std::string& interfaceName, const std::string& address, std::uint16_t port,
                 ByteView data) const;

    THandOver& handOver_;
    std::string name_;
    bool broadcastEnabled_ = false;
    int receiveBufferHeld_ = 0;
    TIdSocketHandles bindings_;
    TIdSocketHandle* currentBinding_ = nullptr;
    // Guards the list and the current binding; never held while waiting.
    mutable std::mutex listenersLock_;
    std::vector<std::unique_ptr<TIdUDPListenerThread>> listeners_;
    mutable std::mutex lastSendLock_;
    std::vector<std::string> lastSendInterfaces_;
    std::vector<TIdSendFailure> lastSendFailures_;
};

}  // namespace melvorin::net
