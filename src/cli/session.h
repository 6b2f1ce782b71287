#pragma once

// One run of the tool on the network: the UDP endpoint (local port 12345,
// broadcast permitted, as the window's), the scan and join requests it
// sends, and what the replies say. Each datagram is read where it arrives,
// on its listener's thread (nothing is handed over per datagram, so a burst
// of replies is read as fast as the system delivers it); the thread that
// made the session waits in Scan() or Join() until the replies say it may go
// on. Call everything on that thread.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "cli/report.h"
#include "net/handover.h"
#include "net/udp_server.h"
#include "protocol/bytes.h"

namespace melvorin::cli {

class Session {
public:
    // `interfaces`: indexes the requests go out of; empty means every
    // broadcast interface, as the window sends.
    Session(std::uint16_t port, std::vector<unsigned> interfaces);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Broadcasts the scan request now and every second after, collecting list
    // replies, until `seconds` have passed or, when `until` is not empty, the
    // device at that address has answered. Raises the endpoint's errors
    // (EIdCouldNotBindSocket when port 12345 is taken).
    void Scan(double seconds, const std::string& until = "");
    // After a scan: the devices that answered, by address; each with its
    // last reply's list.
    std::vector<DeviceReport> Devices() const;
    const DeviceReport* Device(const std::string& address) const;

    // A join request, broadcast out of `interfaceIndex` (as the scan goes
    // when it is 0), for the devices at `addresses`; sent to `host` alone
    // instead when it is not empty.
    struct JoinRequest {
        TIdBytes frame;
        unsigned interfaceIndex = 0;
        std::vector<std::string> addresses;
        std::string host;
    };
    // Sends each request, then again once a second, at most `retries` times,
    // while a device it is for has given no result; collects results until
    // every addressed device has given one or `seconds` have passed. A
    // request for no address in particular is sent once, any sender's result
    // counts and the wait lasts `seconds`. Results count only from the first
    // send on; the first of each device is kept.
    void Join(const std::vector<JoinRequest>& requests, double seconds, int retries);
    // After a join: the first result of each device, by address.
    const std::map<std::string, JoinReport>& Results() const { return results_; }

    // Where the endpoint reports each datagram and dropped error (the wire
    // log); called on the listeners' threads too.
    void SetWireLog(net::TIdLogEvent log) { endpoint_->OnLog = std::move(log); }

    // Datagrams the system dropped before they could be read (their
    // receive buffer full); -1 where it cannot tell.
    long long Dropped() { return endpoint_->Dropped(); }

    // Called before each join request is broadcast (resends too); what it
    // raises ends the join's sending: at the first send it leaves Join().
    std::function<void(std::uint16_t port)> BeforeBroadcastJoin;

    // Told once for each interface a request could not go out of (while
    // others took it), with why.
    std::function<void(const net::TIdSendFailure&)> OnSendFailure;
    // Told once, after the first send, when the system gives the sockets a
    // smaller receive buffer than asked for: what they got, and the command
    // that raises the system's cap.
    std::function<void(int held, const std::string& raise)> OnSmallReceiveBuffer;

private:
    using Clock = std::chrono::steady_clock;
    class Sender;

    enum class Phase { Idle, Scanning, Joining };

    // On a listener's thread.
    void OnRead(const TIdBytes& data, net::TIdSocketHandle& binding);
    // Waits until `deadline` or until `done` (asked under the lock) says so.
    void WaitUntil(Clock::time_point deadline, const std::function<bool()>& done);
    void SetPhase(Phase phase);
    void SendJoin(const JoinRequest& request);
    // After a send: what could not go out, and once, a capped receive buffer.
    void ReportSendFailures();

    std::uint16_t port_;
    std::vector<unsigned> interfaces_;
    // Guards what the listeners write: the phase, the devices, the results
    // and the awaited addresses. Between phases only this thread reads them.
    mutable std::mutex lock_;
    std::condition_variable changed_;
    Phase phase_ = Phase::Idle;
    std::map<std::string, DeviceReport> devices_;
    // The device whose list reply ends the scan ("" for none).
    std::string until_;
    std::map<std::string, JoinReport> results_;
    // Addressed devices whose result is still to come.
    std::set<std::string> awaited_;
    bool bufferTold_ = false;
    std::set<std::string> failedInterfaces_;
    // The endpoint's hand-over: its events run on the listeners' threads, so
    // it only serves the endpoint's closing.
    net::THandOver handOver_;
    // After the hand-over and the records: it goes first, so no hand-over
    // outlives what it uses.
    std::unique_ptr<net::TIdUDPServer> endpoint_;
    std::unique_ptr<Sender> sender_;
};

}  // namespace melvorin::cli
