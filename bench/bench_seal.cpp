// The sealed join against a clear one, both on the unit library (device/)
// and the station's code:
// - the station's work: the sealed join built from a list reply's
//   advertisement (HPKE set-up to the unit's key, the seal) against the clear
//   join request;
// - the unit's work: opening the sealed join, judging it and the tagged
//   result (Mbed TLS as the primitives) against the library's handling of
//   the clear join request; and the list reply with its advertisement
//   against the list reply alone;
// - the whole exchange over loopback: scan request, list reply, join, result
//   read and (sealed) its tag checked, against the same exchange in clear
//   with the same unit library (the goal: what a user waits).
// Clear and sealed run in turns, so that both see the same load.

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <melvorin_device.h>
#include <melvorin_seal.h>
#include <mlvs_mbedtls.h>

#include "bench.h"
#include "protocol/frame.h"
#include "protocol/join.h"
#include "protocol/scan.h"
#include "seal/sealed_join.h"

namespace melvorin::bench {

namespace {

// A sealed join may add this much to the clear exchange: well under what a
// person notices, with room for a busy machine.
constexpr std::int64_t kAddedGoalNs = 20'000'000;
constexpr int kBatch = 1000;  // clear joins per timed batch (each takes well under a microsecond)

const TIdBytes kSsid = {'H', 'o', 'm', 'e', 'N', 'e', 't'};
const TIdBytes kKey = {'c', 'o', 'r', 'r', 'e', 'c', 't', '-', 'h', 'o', 'r', 's', 'e'};
const TIdBytes kToken(seal::kTokenSize, 0x5A);

int OneNetwork(void*, unsigned index, mlvd_network* out) {
    if (index != 0) return 0;
    *out = {kSsid.data(), static_cast<std::uint8_t>(kSsid.size()), 80, 0};
    return 1;
}

const mlvd_callbacks kCallbacks = {OneNetwork, nullptr, nullptr};

// A unit: the core library and the sealed extension on Mbed TLS, one key
// pair for the run, as a firmware keeps one.
class Unit {
public:
    Unit() {
        if (mlvs_mbedtls_init(&mbedtls_, &crypto_) != 0 || mlvs_generate_keypair(&crypto_, sk_, pk_) != 0) {
            throw std::runtime_error("Mbed TLS did not start");
        }
        sealed_.crypto = &crypto_;
        sealed_.sk = sk_;
        sealed_.pk = pk_;
        mlvd_init(&device_, &kCallbacks, nullptr);
    }
    ~Unit() { mlvs_mbedtls_free(&mbedtls_); }
    Unit(const Unit&) = delete;
    Unit& operator=(const Unit&) = delete;

    // The reply the unit sends to `request`, empty for none. A sealed unit
    // advertises in its list replies and opens sealed joins.
    TIdBytes Handle(const TIdBytes& request, bool sealed) {
        TIdBytes reply(MLVS_RESULT_SIZE + 512);
        std::size_t n = 0;
        if (request.size() > 3 && request[3] == MLVS_CMD_SEALED_JOIN) {
            n = sealed ? OpenAndAnswer(request, reply) : 0;
        } else {
            const std::size_t room = reply.size() - (sealed ? MLVS_ADVERT_SIZE : 0);
            n = mlvd_handle(&device_, request.data(), request.size(), 1, reply.data(), room);
            if (sealed && n > 3 && reply[3] == SsidListReply) n = Advertise(reply.data(), n, reply.size());
        }
        reply.resize(n);
        return reply;
    }

    // The core library alone on a request, into `reply`: what a unit
    // without the extension does.
    std::size_t HandleClear(const TIdBytes& request, std::uint8_t* reply, std::size_t capacity) {
        return mlvd_handle(&device_, request.data(), request.size(), 1, reply, capacity);
    }

    // Appends the advertisement to the list reply of `length` bytes.
    std::size_t Advertise(std::uint8_t* reply, std::size_t length, std::size_t capacity) {
        return mlvs_advertise(&sealed_, reply, length, capacity);
    }

private:
    // What a firmware does with a sealed join: open it, judge it as the core
    // judges a clear one, and answer with the tagged result.
    std::size_t OpenAndAnswer(const TIdBytes& frame, TIdBytes& reply) {
        TIdBytes plain(frame.size());
        mlvs_join join{};
        if (mlvs_open_join(&sealed_, frame.data(), frame.size(), plain.data(), plain.size(), &join) != 0) return 0;
        const unsigned verdict = mlvd_judge_join(&device_, join.ssid, join.ssid_len, join.key, join.key_len);
        std::fill(plain.begin(), plain.end(), 0);
        return mlvs_join_result(&sealed_, verdict & MLVD_SSID_OK ? 1 : 0, verdict & MLVD_KEY_OK ? 1 : 0,
                                reply.data(), reply.size());
    }

    mlvs_mbedtls mbedtls_{};
    mlvs_crypto crypto_{};
    std::uint8_t sk_[MLVS_SECRET_KEY_SIZE]{};
    std::uint8_t pk_[MLVS_PUBLIC_KEY_SIZE]{};
    mlvs_unit sealed_{};
    mlvd_device device_{};
};

// The station's sealed join to the unit that sent `listReply`.
seal::SealedJoin SealedJoinTo(const TIdBytes& listReply) {
    const std::optional<seal::Advert> advert = seal::FindAdvert(listReply);
    if (!advert) throw std::runtime_error("the sealed unit's list reply holds no advertisement");
    std::optional<seal::SealedJoin> join = seal::BuildSealedJoin(*advert, kSsid, kKey, kToken);
    if (!join) throw std::runtime_error("the station built no sealed join");
    return std::move(*join);
}

void CheckAccepted(const TIdBytes& result, const seal::Sender* sender) {
    if (result.size() < 6 || ClassifyJoinResult(result) != JoinVerdict::Accepted) {
        throw std::runtime_error("the unit did not accept the join");
    }
    if (sender && !seal::ResultIsTagged(*sender, result)) throw std::runtime_error("the join result's tag is wrong");
}

// The times of one run, each list one figure per round.
struct Times {
    std::vector<std::int64_t> clearBuild, sealedBuild, clearHandle, sealedOpen, clearList, advertisedList;
    std::vector<std::int64_t> clearExchange, sealedExchange;
};

// One round in process: each side's work, clear (in batches: it takes
// nanoseconds) and sealed, and the list reply with and without the
// advertisement.
void MeasureWork(Unit& unit, Times& t) {
    const TIdBytes scan = BuildScanRequest();
    std::uint8_t reply[512];
    std::int64_t t0 = NowNs();
    std::size_t bytes = 0;
    for (int b = 0; b < kBatch; ++b) bytes += BuildJoinRequest(kSsid, kKey).size();
    std::int64_t t1 = NowNs();
    t.clearBuild.push_back((t1 - t0) / kBatch);
    const TIdBytes clear = BuildJoinRequest(kSsid, kKey);
    t0 = NowNs();
    for (int b = 0; b < kBatch; ++b) bytes += unit.HandleClear(clear, reply, sizeof reply);
    t1 = NowNs();
    t.clearHandle.push_back((t1 - t0) / kBatch);
    if (bytes != kBatch * (clear.size() + MLVD_JOIN_RESULT_SIZE)) throw std::runtime_error("clear join refused");

    t0 = NowNs();
    for (int b = 0; b < kBatch; ++b) unit.HandleClear(scan, reply, sizeof reply);
    t1 = NowNs();
    t.clearList.push_back((t1 - t0) / kBatch);
    // A nonce opens one join: one list reply per sealed join, as on the wire.
    t0 = NowNs();
    std::size_t n = unit.HandleClear(scan, reply, sizeof reply - MLVS_ADVERT_SIZE);
    n = unit.Advertise(reply, n, sizeof reply);
    t1 = NowNs();
    const TIdBytes listReply(reply, reply + n);
    t.advertisedList.push_back(t1 - t0);

    t0 = NowNs();
    const seal::SealedJoin join = SealedJoinTo(listReply);
    t1 = NowNs();
    const TIdBytes result = unit.Handle(join.frame, true);
    const std::int64_t t2 = NowNs();
    CheckAccepted(result, &join.sender);
    t.sealedBuild.push_back(t1 - t0);
    t.sealedOpen.push_back(t2 - t1);
}

std::uint16_t PortOf(const UdpSocket& socket) {
    sockaddr_in local{};
    socklen_t length = sizeof local;
    ::getsockname(socket.Fd(), reinterpret_cast<sockaddr*>(&local), &length);
    return ntohs(local.sin_port);
}

// The unit on a socket of its own: answers each datagram as `sealed` says,
// until its socket is shut down.
class UnitThread {
public:
    explicit UnitThread(Unit& unit)
        : socket_("127.0.0.1", 0), port_(PortOf(socket_)), thread_([this, &unit] { Serve(unit); }) {}
    ~UnitThread() {
        ::shutdown(socket_.Fd(), SHUT_RDWR);
        thread_.join();
    }
    std::uint16_t Port() const { return port_; }
    std::atomic<bool> sealed{false};

private:
    void Serve(Unit& unit) {
        TIdBytes buffer(8192);
        sockaddr_in from{};
        for (;;) {
            socklen_t length = sizeof from;
            const ssize_t n = ::recvfrom(socket_.Fd(), buffer.data(), buffer.size(), 0,
                                         reinterpret_cast<sockaddr*>(&from), &length);
            if (n <= 0) return;
            const TIdBytes reply = unit.Handle(TIdBytes(buffer.begin(), buffer.begin() + n), sealed.load());
            if (reply.empty()) continue;
            ::sendto(socket_.Fd(), reply.data(), reply.size(), 0, reinterpret_cast<const sockaddr*>(&from), length);
        }
    }

    UdpSocket socket_;
    std::uint16_t port_;
    std::thread thread_;
};

TIdBytes Ask(UdpSocket& station, std::uint16_t port, const TIdBytes& request) {
    TIdBytes reply(8192);
    if (!station.SendToLoopback(port, request.data(), request.size())) throw std::runtime_error("cannot send");
    const long n = station.Receive(reply.data(), reply.size(), 2000);
    if (n <= 0) throw std::runtime_error("the unit did not answer");
    reply.resize(static_cast<std::size_t>(n));
    return reply;
}

// One exchange as the station makes it: scan, join, result read.
std::int64_t Exchange(UdpSocket& station, UnitThread& unit, bool sealed) {
    unit.sealed = sealed;
    const std::int64_t t0 = NowNs();
    const TIdBytes listReply = Ask(station, unit.Port(), BuildScanRequest());
    if (sealed) {
        const seal::SealedJoin join = SealedJoinTo(listReply);
        CheckAccepted(Ask(station, unit.Port(), join.frame), &join.sender);
    } else {
        CheckAccepted(Ask(station, unit.Port(), BuildJoinRequest(kSsid, kKey)), nullptr);
    }
    return NowNs() - t0;
}

// Times under 10 µs in nanoseconds, under 1 ms in microseconds.
std::string Time(std::int64_t ns) {
    return ns < 10'000 ? std::to_string(ns) + " ns" : ns < 1'000'000 ? Us(ns) : Ms(ns);
}
std::string WideRatio(double r) { return r < 100 ? Ratio(r) : Format("%.0f", r); }

void Measure(Context& c) {
    Unit unit;    // in process
    Unit served;  // on its socket, a key of its own
    UdpSocket station("127.0.0.1", 0);
    const int rounds = c.options.Pick(200, 40);
    Times t, warmUp;
    {
        UnitThread thread(served);
        for (int i = 0; i <= rounds; ++i) {
            Times& into = i == 0 ? warmUp : t;  // the first round: pages and caches
            MeasureWork(unit, into);
            ::usleep(1000);  // the unit at rest, as between a person's joins
            into.sealedExchange.push_back(Exchange(station, thread, true));
            ::usleep(1000);
            into.clearExchange.push_back(Exchange(station, thread, false));
        }
    }
    const std::string n = std::to_string(t.sealedBuild.size());
    const auto row = [&c](const std::string& what, const std::vector<std::int64_t>& figure, const std::string& base,
                          const std::vector<std::int64_t>& baseline) {
        const std::int64_t f = Quantile(figure, 0.5), b = Quantile(baseline, 0.5);
        c.rows.push_back({what, Time(f), base, Time(b), WideRatio(RatioOf(f, b)), "-", "-"});
    };
    row("Sealed join, station: built from the advertisement (HPKE, seal), p50 of " + n, t.sealedBuild,
        "clear join request built", t.clearBuild);
    row("Sealed join, unit: opened, judged, tagged result (Mbed TLS), p50 of " + n, t.sealedOpen,
        "clear join request handled", t.clearHandle);
    row("  unit: list reply with its advertisement, p50", t.advertisedList, "list reply alone", t.clearList);
    for (const double q : {0.5, 0.99}) {
        const std::int64_t s = Quantile(t.sealedExchange, q), p = Quantile(t.clearExchange, q);
        const bool median = q == 0.5;
        c.rows.push_back({median ? "Sealed join: whole exchange on loopback (scan, join, result), p50 of " + n
                                 : std::string("  same, p99"),
                          Ms(s), median ? "clear exchange, same unit library" : "clear exchange, p99", Ms(p),
                          Ratio(RatioOf(s, p)), "≤ clear + 20 ms", Met(s > 0 && s <= p + kAddedGoalNs)});
    }
}

}  // namespace

Benchmark SealBenchmark() { return {"seal", "a sealed join against a clear one", Stage::BeforeApplication, Measure}; }

}  // namespace melvorin::bench
