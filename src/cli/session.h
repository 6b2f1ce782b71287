#pragma once

// One run of the tool on the network: the UDP endpoint (local port 12345,
// broadcast permitted, as the window's), the scan and join requests it
// sends, and what the replies say. Each datagram is read where it arrives,
// on its listener's thread (nothing is handed over per datagram, so a burst
// of replies is read as fast as the system delivers it); the thread that
// made the session waits in Scan() or Join() until the replies say it may go
// on. Call everything on that thread.
//
// A unit is its link and its address (UnitKey). Its hardware address comes
// from the system's neighbour table, read once after each round of replies
// (and after the join) while a unit that answered has none yet; its maker
// from the registries, loaded at the first one.

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "cli/plan.h"
#include "cli/recent.h"
#include "cli/report.h"
#include "net/handover.h"
#include "net/udp_server.h"
#include "protocol/bytes.h"
#include "protocol/results.h"
#include "units/makers.h"

namespace melvorin {
enum class TDatagramKind;
}  // namespace melvorin

namespace melvorin::cli {

class Session {
public:
    using Clock = std::chrono::steady_clock;

    // `interfaces`: indexes the requests go out of; empty means every
    // broadcast interface, as the window sends.
    Session(std::uint16_t port, std::vector<unsigned> interfaces);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Broadcasts the scan request now and every second after, collecting list
    // replies, until `seconds` have passed or, when `until` is given, shortly
    // after a unit it names has answered (by its address: at the end of the
    // first round at the earliest, and a quarter of a second after it
    // answered, so that every other unit at that address has answered too;
    // by its hardware address: at the end of the round that told it).
    // Raises the endpoint's errors (EIdCouldNotBindSocket when port 12345 is
    // taken).
    void Scan(double seconds, const std::optional<DeviceChoice>& until = std::nullopt);
    // After a scan: the units that answered, in order of address and link;
    // each with its last reply's list.
    std::vector<DeviceReport> Devices() const;
    // Sends each request, then again once a second, at most `retries` times,
    // while a device it is for has given no result; collects results until
    // every addressed device has given one or `seconds` have passed. A
    // request for no address in particular is sent once, any sender's result
    // counts and the wait lasts `seconds`. Results count only from the first
    // send on; the first of each device is kept, and handed to OnJoinResult
    // as it comes. BeforeJoin is asked for every request before the first
    // one goes out.
    // A sealed request's resend is sealed anew (Reseal) to a nonce of the
    // unit's later list reply, asked for by a scan request where needed.
    // Without requests it returns at once.
    void Join(std::vector<JoinRequest> requests, double seconds, int retries);
    // After a join: the first result of each unit, by the link it arrived on.
    const std::map<UnitKey, JoinReport>& Results() const { return results_; }

    // After Join(): waits up to `seconds` for the online announcement
    // (docs/sealed-join.md) of each of these units whose result accepted the
    // join and whose hardware address is known, heard on any link, ending
    // when every one has come (or at a stop request); each unit's result's
    // `online` is filled from the first that matches its join (session_online.cpp).
    void AwaitOnline(const std::vector<UnitKey>& units, double seconds);
    // Told, on a listener's thread, of an announcement with an awaited
    // unit's hardware address but without its sealed join's tag (ignored).
    std::function<void(const std::string& mac)> OnForgedOnline;

    // Where the endpoint reports each datagram and dropped error (the wire
    // log); called on the listeners' threads too.
    void SetWireLog(net::TIdLogEvent log) { endpoint_->OnLog = std::move(log); }

    // Where a registry file that cannot be read is told (once, when the
    // first maker is looked up).
    void OnMakersNote(std::function<void(const std::string&)> note) {
        makers_.OnNote = std::move(note);
    }

    // Datagrams the system dropped before they could be read (their
    // receive buffer full); -1 where it cannot tell.
    long long Dropped() { return endpoint_->Dropped(); }

    // Called before each join request is sent (resends too), with its host
    // ("" for a broadcast); what it raises ends the join's sending: at the
    // first send it leaves Join().
    std::function<void(std::uint16_t port, const std::string& host)> BeforeJoin;

    // Join(): each unit's result, on the joining thread, as it comes (its
    // hardware address read first).
    std::function<void(const UnitKey& unit, const JoinReport& result)> OnJoinResult;

    // The key a resend is sealed with anew, to a nonce of the unit's later
    // list reply (each nonce opens one join): the key's owner's bytes, not a
    // copy. Without it a sealed join is not resent.
    const TIdBytes* ResealKey = nullptr;
    // Before a resend of a sealed request: seals it anew to the unit's
    // latest offer whose nonce is still unspent; false when there is none
    // yet (the unit's next list reply brings one: try again then).
    bool SealAnew(JoinRequest& request);

    // Looked at every tenth of a second while Scan() and Join() wait: once it
    // says so, they end (no more sends) and return what came.
    std::function<bool()> StopRequested;

    // Told once for each interface a request could not go out of (while
    // others took it), with why.
    std::function<void(const net::TIdSendFailure&)> OnSendFailure;
    // Told once, after the first send, when the system gives the sockets a
    // smaller receive buffer than asked for: what they got, and the command
    // that raises the system's cap.
    std::function<void(int held, const std::string& raise)> OnSmallReceiveBuffer;

    // Bench mode: from StartWatching() on, every list reply and every result
    // of a unit awaited is kept as it comes, for WaitWatchEvents().
    struct WatchEvents {
        // Units whose list reply came, each once; `fresh`: new, or heard
        // again after a silence (another unit may stand there now), its
        // hardware address read anew.
        std::vector<DeviceReport> lists;
        std::vector<bool> fresh;
        std::vector<JoinReport> results;
        std::vector<UnitKey> resultUnits;
    };
    void StartWatching();
    // Broadcasts one scan request, as Scan() does each second.
    void SendScan();
    // Sends a join request now (again, for a resend) and awaits one result
    // from each of its units.
    void SendWatchJoin(const JoinRequest& request);
    // Gives up awaiting these units' results.
    void StopAwaiting(const std::vector<UnitKey>& units);
    // What came since the last call; waits for something until `deadline`.
    WatchEvents WaitWatchEvents(Clock::time_point deadline);

private:
    class Sender;

    enum class Phase { Idle, Scanning, Joining, Watching, Online };

    // On a listener's thread, while watching.
    void OnWatchRead(TDatagramKind kind, const UnitKey& from, std::vector<NetworkRow> rows,
                     const std::optional<TJoinResult>& result, const net::TIdSocketHandle& binding,
                     const TIdBytes& data);
    // Under the lock: the unit awaited with this hardware address, awaited
    // no more; and a unit's result, told as that unit's.
    // A sealed join's result must bear its tag (Vouches()).
    std::optional<UnitKey> TakeAwaited(const std::string& mac, const TIdBytes& result, JoinReport& report);
    void TakeResult(const UnitKey& unit, JoinReport report, std::vector<std::pair<UnitKey, JoinReport>>& into);
    // Hardware addresses and makers of these units, from one reading of the
    // neighbour table.
    std::map<UnitKey, std::pair<std::string, std::optional<std::string>>> LookUp(const std::vector<UnitKey>& keys);

    // Sealed joins (session_seal.cpp). Under the lock: a sealed request as
    // sent; a unit's later offer; whether a result of `from` counts (one to a
    // sealed join must bear its tag: it is then marked sealed).
    void NoteSealedSend(const JoinRequest& request);
    void NoteOffer(const UnitKey& from, const TIdBytes& listReply);
    bool Vouches(const UnitKey& unit, const TIdBytes& result, JoinReport& report) const;
    // Join(): the requests to send in a round: every one first; on a resend,
    // those whose units are still awaited, a sealed one sealed anew (a scan
    // request asking for fresh offers where needed, awaited at most half a
    // second), left out when it could not be.
    std::vector<JoinRequest*> Due(std::vector<JoinRequest>& requests, bool resend, Clock::time_point end);

    // On a listener's thread: true when the datagram was read as an
    // announcement awaited by AwaitOnline().
    bool OnOnlineRead(const TIdBytes& data, const net::TIdSocketHandle& binding);
    // On a listener's thread.
    void OnRead(const TIdBytes& data, net::TIdSocketHandle& binding);
    // Waits until `deadline` or until `done` (asked under the lock) says so.
    void WaitUntil(Clock::time_point deadline, const std::function<bool()>& done);
    void SetPhase(Phase phase);
    // `check`: BeforeJoin is asked first.
    void SendJoin(const JoinRequest& request, bool check = true);
    // Hands the results that came since the last call to OnJoinResult.
    void TellResults();
    bool Stopping() const { return StopRequested && StopRequested(); }
    // Under the lock: whether a unit the scan waits for has answered.
    bool FoundLocked() const;
    // Hardware addresses and makers for units heard since the last reading
    // that have none yet: one reading of the neighbour table.
    void LearnHardwareAddresses();
    // After a send: what could not go out, and once, a capped receive buffer.
    void ReportSendFailures();

    std::uint16_t port_;
    std::vector<unsigned> interfaces_;
    // Guards what the listeners write: the phase, the devices, the results
    // and the awaited addresses. Between phases only this thread reads them.
    mutable std::mutex lock_;
    std::condition_variable changed_;
    Phase phase_ = Phase::Idle;
    std::map<UnitKey, DeviceReport> devices_;
    // The unit whose list reply ends the scan.
    std::optional<DeviceChoice> until_;
    std::map<UnitKey, JoinReport> results_;
    // Units whose result came and is still to be told.
    std::vector<UnitKey> arrived_;
    // Addressed units whose result is still to come.
    std::set<UnitKey> awaited_;
    // Replies and results read, and how many of them the last reading of the
    // neighbour table came after.
    unsigned long heard_ = 0;
    unsigned long heardAtReading_ = 0;
    units::Makers makers_;
    // Bench mode: each unit heard, forgotten after an hour unheard or as the
    // longest unheard beyond 65 536, and what came since the last
    // WaitWatchEvents().
    RecentMap<UnitKey, DeviceReport> watchDevices_{65536, std::chrono::hours(1)};
    std::set<UnitKey> watchLists_;
    std::set<UnitKey> watchFresh_;
    std::vector<std::pair<UnitKey, JoinReport>> watchResults_;
    struct Stray {
        UnitKey from;
        JoinReport report;
        TIdBytes result;
    };
    std::vector<Stray> watchStrays_;
    // Each unit sent a sealed join: the senders of its frames (a result must
    // bear one's tag), the nonces spent, and its latest offer.
    struct SealedUnit {
        std::vector<seal::Sender> senders;
        std::set<std::array<std::uint8_t, seal::kNonceSize>> spent;
        std::optional<seal::Advert> offer;
    };
    std::map<UnitKey, SealedUnit> sealed_;
    // AwaitOnline(): the units whose announcement is still to come.
    std::set<UnitKey> awaitedOnline_;
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
