// Melvorin's benchmarks: what a user of the program feels, each figure beside
// a baseline measured in the same run, printed as one table.
//
//   hand-over round trip   datagram on loopback -> OnUDPRead on the window's
//                          thread, against QUdpSocket's readyRead there; with
//                          its two halves (datagram -> listener thread, and
//                          THandOver::Synchronize against Qt's blocking queued call)
//                          and back-to-back figures for information
//   throughput             datagrams handled per second under a stream,
//                          against the same QUdpSocket
//   list reply             a maximal list reply until the list has its rows,
//                          against the parse alone
//   closing                destroying an active endpoint with idle listeners,
//                          against the 1000 ms wait period
//   start-up               spawn until the scan is on the wire and until the
//                          window is shown, against a trivial Qt program
//   idle                   wake-ups per second of each idle listener,
//                          against one per second
//
// Runs inside a private network namespace only (scripts/in-netns).

#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <QHostAddress>
#include <QTimer>
#include <QUdpSocket>
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench_util.h"
#include "net/handover.h"
#include "net/listener.h"
#include "net/udp_server.h"
#include "netns_guard.h"
#include "protocol/frame.h"
#include "protocol/scan.h"
#include "protocol/state.h"
#include "ui/boxes.h"
#include "ui/form2.h"
#include "ui/handover_pump.h"

extern char** environ;

namespace melvorin::bench {

namespace {

constexpr std::uint16_t kEndpointPort = 12345;
constexpr std::uint16_t kBaselinePort = 23456;
constexpr std::uint16_t kSearchPort = 1902;
constexpr std::uint16_t kShownPort = 1903;

// ---- options ----------------------------------------------------------------

struct Options {
    int roundTrips = 10000;         // per side
    int roundTripBlocks = 20;       // alternating blocks per side
    int pauseUs = 100;              // between round trips
    int backToBackTrips = 4000;     // per side, without the pause
    int oneCpuTrips = 4000;         // per side, every thread on one processor
    double streamSeconds = 0.8;     // per stream run
    int streamRuns = 3;             // per side
    bool verbose = false;           // per-run figures on stderr
    int senderNice = 19;            // the stream's sender yields to the receivers
    int listReplies = 200;
    int startupRuns = 7;            // per program, after one warm-up
    int closings = 8;
    double idleSeconds = 3.2;
    std::string only;               // one benchmark by name, or all
    std::string melvorin = MELVORIN_PROGRAM;
    std::string emptyWindow = BENCH_EMPTY_WINDOW;
    std::string formWindow = BENCH_FORM_WINDOW;
};

// ---- the window under test ----------------------------------------------------

class QuietBoxes : public ui::IBoxes {
public:
    void ShowNotice(const QString&) override { ++notices; }
    void ShowError(const QString& text) override { errors.push_back(text.toStdString()); }
    void Beep() override {}
    int notices = 0;
    std::vector<std::string> errors;
};

// Hooks around the window's datagram handler; both run on the window's
// thread, the first before idpsrvr1UDPRead, the second after it.
struct ReadHooks {
    std::function<void(const TIdBytes&)> before;
    std::function<void(const TIdBytes&)> after;
    // Closes the window's endpoint and opens it again with a send, so that
    // its listeners are new threads, placed afresh by the scheduler.
    std::function<void()> reopen;
};

void InstallHooks(ui::TForm2& form, ReadHooks& hooks) {
    form.idpsrvr1->OnUDPRead = [&form, &hooks](net::TIdUDPListenerThread& thread, const TIdBytes& data,
                                               net::TIdSocketHandle& binding) {
        if (hooks.before) hooks.before(data);
        form.idpsrvr1UDPRead(thread, data, binding);
        if (hooks.after) hooks.after(data);
    };
    hooks.reopen = [&form] {
        form.idpsrvr1->SetActive(false);
        form.idpsrvr1->SendDatagram("255.255.255.255", kSearchPort, BuildScanRequest());
    };
}

// The Qt baseline: a QUdpSocket on the window's thread whose readyRead reads
// every pending datagram into a buffer of the endpoint's size.
class QtReceiver : public QObject {
public:
    explicit QtReceiver(std::uint16_t port) : buffer_(8192) {
        if (!socket_.bind(QHostAddress::LocalHost, port)) {
            throw std::runtime_error("QUdpSocket could not bind 127.0.0.1:" + std::to_string(port));
        }
        QObject::connect(&socket_, &QUdpSocket::readyRead, this, [this] {
            while (socket_.hasPendingDatagrams()) {
                const qint64 n = socket_.readDatagram(reinterpret_cast<char*>(buffer_.data()),
                                                      static_cast<qint64>(buffer_.size()));
                if (n >= 0 && onDatagram) onDatagram(buffer_.data(), static_cast<std::size_t>(n));
            }
        });
    }
    std::function<void(const std::uint8_t*, std::size_t)> onDatagram;

private:
    QUdpSocket socket_;
    std::vector<std::uint8_t> buffer_;
};

// What the round-trip and stream datagrams carry. Its first byte (the run's
// low byte) is never the lead byte 0xFF in the runs made here, so the
// window's handler drops it at once.
struct Stamp {
    std::uint32_t run;
    std::uint32_t pad;
    std::uint64_t seq;
    std::int64_t sentNs;
};

bool ReadStamp(const std::uint8_t* data, std::size_t size, Stamp& stamp) {
    if (size < sizeof(Stamp)) return false;
    std::memcpy(&stamp, data, sizeof stamp);
    return true;
}

// Runs the window thread's event loop until `work` (on a thread of its own)
// has finished.
void RunWithLoop(const std::function<void()>& work) {
    QEventLoop loop;
    std::thread worker([&loop, &work] {
        work();
        QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
}

// ---- 1. hand-over round trip -------------------------------------------------

struct RoundTrip {
    std::mutex lock;
    std::condition_variable handledSignal;
    std::uint64_t handled = 0;
    std::uint32_t run = 0;
    std::vector<std::int64_t> latencies;
    int lost = 0;
    int pauseUs = 0;

    void OnDatagram(const std::uint8_t* data, std::size_t size) {
        const std::int64_t now = NowNs();
        Stamp stamp{};
        if (!ReadStamp(data, size, stamp) || stamp.run != run) return;
        latencies.push_back(now - stamp.sentNs);
        {
            std::lock_guard<std::mutex> guard(lock);
            handled = stamp.seq + 1;
        }
        handledSignal.notify_one();
    }

    // Sends `count` datagrams to 127.0.0.1:port, each once the one before
    // has been handled and a pause has let both threads settle, so that every
    // datagram meets a receiver at rest, as a device's reply does.
    void Send(std::uint16_t port, int count) {
        UdpSocket sender("127.0.0.1", 0);
        for (int i = 0; i < count; ++i) {
            if (pauseUs > 0) std::this_thread::sleep_for(std::chrono::microseconds(pauseUs));
            const auto seq = static_cast<std::uint64_t>(i);
            const Stamp stamp{run, 0, seq, NowNs()};
            sender.SendToLoopback(port, &stamp, sizeof stamp);
            std::unique_lock<std::mutex> guard(lock);
            if (!handledSignal.wait_for(guard, std::chrono::seconds(1), [&] { return handled >= seq + 1; })) {
                ++lost;
            }
        }
    }
};

struct RoundTripResult {
    std::vector<std::int64_t> product;
    std::vector<std::int64_t> baseline;
    int lostProduct = 0;
    int lostBaseline = 0;
};

// Alternating blocks of round trips through the endpoint and through the
// QUdpSocket, so that a change of the machine's load meets both alike. Each
// block has a new sending thread, and each endpoint block new listeners: on
// a machine where waking a thread on another, idle processor costs much more
// than on the same one, the figures would otherwise depend on where the
// scheduler happened to put the threads at the start.
RoundTripResult MeasureRoundTrip(int count, int blocks, int pauseUs, ReadHooks& hooks, QtReceiver& qt,
                                 std::uint32_t& run) {
    RoundTripResult result;
    const int perBlock = std::max(1, count / blocks);
    // Warm-up of both paths, not counted.
    for (int side = 0; side < 2; ++side) {
        RoundTrip warm;
        warm.run = ++run;
        warm.pauseUs = pauseUs;
        hooks.before = [&warm](const TIdBytes& d) { warm.OnDatagram(d.data(), d.size()); };
        qt.onDatagram = [&warm](const std::uint8_t* d, std::size_t n) { warm.OnDatagram(d, n); };
        RunWithLoop([&] { warm.Send(side == 0 ? kEndpointPort : kBaselinePort, 200); });
    }
    for (int block = 0; block < 2 * blocks; ++block) {
        const bool product = block % 2 == 0;
        RoundTrip rt;
        rt.run = ++run;
        rt.pauseUs = pauseUs;
        rt.latencies.reserve(static_cast<std::size_t>(perBlock));
        if (product) hooks.reopen();
        hooks.before = [&rt](const TIdBytes& d) { rt.OnDatagram(d.data(), d.size()); };
        qt.onDatagram = [&rt](const std::uint8_t* d, std::size_t n) { rt.OnDatagram(d, n); };
        RunWithLoop([&] { rt.Send(product ? kEndpointPort : kBaselinePort, perBlock); });
        auto& into = product ? result.product : result.baseline;
        into.insert(into.end(), rt.latencies.begin(), rt.latencies.end());
        (product ? result.lostProduct : result.lostBaseline) += rt.lost;
    }
    hooks.before = nullptr;
    qt.onDatagram = nullptr;
    return result;
}

// Runs `measure` with the window's thread held to the processor it is on.
// Threads started meanwhile inherit that: the senders, and the listeners of
// the endpoint, which each block reopens. Afterwards the endpoint is reopened
// once more, so its listeners are free again.
RoundTripResult MeasureOnOneCpu(const std::function<RoundTripResult()>& measure, ReadHooks& hooks) {
    cpu_set_t before;
    CPU_ZERO(&before);
    if (::sched_getaffinity(0, sizeof before, &before) != 0) return {};
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(::sched_getcpu(), &one);
    if (::sched_setaffinity(0, sizeof one, &one) != 0) return {};
    RoundTripResult result = measure();
    ::sched_setaffinity(0, sizeof before, &before);
    hooks.reopen();
    return result;
}

// The first half of the hand-over path alone: an endpoint whose handler runs
// on the listener's own thread (ThreadedEvent), so the time from the send to
// the listener having the datagram in hand. The rest of the round trip is the
// hand-over to the window's thread.
std::vector<std::int64_t> MeasureListenerOnly(net::THandOver& handOver, int count, int blocks, int pauseUs,
                                              std::uint32_t& run) {
    constexpr std::uint16_t kPort = 12346;
    std::vector<std::int64_t> all;
    for (int block = 0; block < blocks; ++block) {
        RoundTrip rt;
        rt.pauseUs = pauseUs;
        net::TIdUDPServer server(handOver, "bench");
        server.SetDefaultPort(kPort);
        server.ThreadedEvent = true;
        server.OnUDPRead = [&rt](net::TIdUDPListenerThread&, const TIdBytes& d, net::TIdSocketHandle&) {
            rt.OnDatagram(d.data(), d.size());
        };
        server.SendDatagram("127.0.0.1", 9, TIdBytes{0});
        rt.run = ++run;
        std::thread sender([&] { rt.Send(kPort, std::max(1, count / blocks)); });
        sender.join();
        all.insert(all.end(), rt.latencies.begin(), rt.latencies.end());
    }
    return all;
}

// The hand-over without sockets: a thread that hands calls over with
// THandOver::Synchronize, against one that makes Qt's own blocking queued call.
// Each call records the time since its thread began handing it over. Paused
// between calls like the round trips, in alternating blocks, each block on a
// new thread.
struct HandOverOnly {
    std::vector<std::int64_t> synchronize;
    std::vector<std::int64_t> qtBlocking;
};

HandOverOnly MeasureHandOverOnly(net::THandOver& handOver, int count, int blocks, int pauseUs) {
    HandOverOnly result;
    QObject target;
    std::int64_t startNs = 0;
    std::vector<std::int64_t>* into = nullptr;
    const std::function<void()> record = [&] { into->push_back(NowNs() - startNs); };
    for (int block = 0; block < 2 * blocks; ++block) {
        const bool ours = block % 2 == 0;
        into = ours ? &result.synchronize : &result.qtBlocking;
        RunWithLoop([&] {
            for (int i = 0; i < std::max(1, count / blocks); ++i) {
                if (pauseUs > 0) std::this_thread::sleep_for(std::chrono::microseconds(pauseUs));
                startNs = NowNs();
                if (ours) {
                    handOver.Synchronize(record);
                } else {
                    QMetaObject::invokeMethod(&target, record, Qt::BlockingQueuedConnection);
                }
            }
        });
    }
    return result;
}

// ---- 2. throughput -------------------------------------------------------------

struct Stream {
    std::uint32_t run = 0;
    std::atomic<std::uint64_t> sent{0};
    std::int64_t firstSentNs = 0;
    std::uint64_t handled = 0;
    std::int64_t lastHandledNs = 0;

    void OnDatagram(const std::uint8_t* data, std::size_t size) {
        Stamp stamp{};
        if (!ReadStamp(data, size, stamp) || stamp.run != run) return;
        ++handled;
        lastHandledNs = NowNs();
    }

    // Sends bursts for `seconds` from a thread that yields to every other
    // (nice 19), so that the stream takes only the time the receiver leaves,
    // then lets the receiver drain what is queued.
    void Send(std::uint16_t port, double seconds, int nice) {
        SetThreadNice(nice);
        UdpSocket sender("127.0.0.1", 0);
        firstSentNs = NowNs();
        const auto end = firstSentNs + static_cast<std::int64_t>(seconds * 1e9);
        std::uint64_t seq = 0;
        while (NowNs() < end) {
            for (int i = 0; i < 16; ++i) {
                const Stamp stamp{run, 0, seq++, 0};
                sender.SendToLoopback(port, &stamp, sizeof stamp);
            }
        }
        sent = seq;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }

    double Rate() const {
        const std::int64_t span = lastHandledNs - firstSentNs;
        return span > 0 ? static_cast<double>(handled) * 1e9 / static_cast<double>(span) : 0.0;
    }
    double Loss() const {
        const auto s = sent.load();
        return s > 0 ? 1.0 - static_cast<double>(handled) / static_cast<double>(s) : 0.0;
    }
};

struct StreamResult {
    double product = 0;
    double baseline = 0;
    double lossProduct = 0;
    double lossBaseline = 0;
};

StreamResult MeasureThroughput(const Options& o, ReadHooks& hooks, QtReceiver& qt, std::uint32_t& run) {
    std::vector<double> product, baseline, lossP, lossB;
    for (int i = 0; i < 2 * o.streamRuns; ++i) {
        const bool isProduct = i % 2 == 0;
        Stream s;
        s.run = ++run;
        if (isProduct) hooks.reopen();
        hooks.before = [&s](const TIdBytes& d) { s.OnDatagram(d.data(), d.size()); };
        qt.onDatagram = [&s](const std::uint8_t* d, std::size_t n) { s.OnDatagram(d, n); };
        RunWithLoop([&] { s.Send(isProduct ? kEndpointPort : kBaselinePort, o.streamSeconds, o.senderNice); });
        (isProduct ? product : baseline).push_back(s.Rate());
        if (o.verbose) {
            std::fprintf(stderr, "  stream %s: sent %llu, handled %llu, %.0f/s\n", isProduct ? "endpoint" : "QUdpSocket",
                         static_cast<unsigned long long>(s.sent.load()), static_cast<unsigned long long>(s.handled),
                         s.Rate());
        }
        (isProduct ? lossP : lossB).push_back(s.Loss());
    }
    hooks.before = nullptr;
    qt.onDatagram = nullptr;
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v.empty() ? 0.0 : v[v.size() / 2];
    };
    return {median(product), median(baseline), median(lossP), median(lossB)};
}

// ---- 3. maximal list reply ----------------------------------------------------

// The largest list reply: 8192 bytes, one-byte SSIDs (records of 5 bytes:
// SSID, an uninterpreted byte, the signal strength, 0D 0A) back to back
// after the five header bytes, one filler byte, the checksum. The record
// count byte says 255, so the table holds 256 entries and the list gets 256
// rows; the 257th record ends the handling.
TIdBytes MaximalListReply(std::uint8_t variant) {
    TIdBytes d(8192, 0);
    d[0] = 0xFF;
    d[1] = 0x00;
    d[2] = 0xFF;  // the length byte cannot say 8188; nothing reads it
    d[3] = 0x81;
    d[4] = 0xFF;
    std::size_t at = 5;
    int record = 0;
    while (at + 5 <= d.size() - 1) {
        d[at] = static_cast<std::uint8_t>('A' + (record + variant) % 26);
        d[at + 1] = 0x00;
        d[at + 2] = static_cast<std::uint8_t>((record * 7 + variant) % 101);
        d[at + 3] = 0x0D;
        d[at + 4] = 0x0A;
        at += 5;
        ++record;
    }
    while (at < d.size() - 1) d[at++] = 0x20;
    d[d.size() - 1] = CalcChecksum(d.data() + 1, static_cast<int>(d.size() - 2));
    return d;
}

constexpr int kMaximalRows = 256;

class RecordingList : public ISsidList {
public:
    void Clear() override { rows.clear(); }
    void AddRow(const std::string& caption, const std::string& subItem) override {
        rows.emplace_back(caption, subItem);
    }
    int RowCount() const override { return static_cast<int>(rows.size()); }
    int SelectedRow() const override { return -1; }
    std::vector<std::pair<std::string, std::string>> rows;
};

class NoNotice : public INotice {
public:
    void ShowNotice(const std::string&) override {}
};

struct ListResult {
    std::vector<std::int64_t> window;
    std::vector<std::int64_t> parse;
    int rows = 0;
    int incomplete = 0;
};

ListResult MeasureListReply(const Options& o, ReadHooks& hooks, ui::TForm2& form) {
    ListResult result;
    const TIdBytes replies[2] = {MaximalListReply(0), MaximalListReply(1)};

    // The parse alone, into a list that only records.
    {
        RecordingList list;
        NoNotice notice;
        for (int i = 0; i < 20; ++i) HandleDatagram(replies[i % 2], list, notice);
        for (int i = 0; i < o.listReplies * 5; ++i) {
            const std::int64_t t0 = NowNs();
            HandleDatagram(replies[i % 2], list, notice);
            result.parse.push_back(NowNs() - t0);
        }
        result.rows = list.RowCount();
    }

    // Through the endpoint and the window: sent on loopback, timed until the
    // window's handler has returned with every row in the list.
    std::mutex lock;
    std::condition_variable handledSignal;
    int handled = 0;
    std::atomic<std::int64_t> sentNs{0};
    hooks.after = [&](const TIdBytes& d) {
        if (d.size() != 8192) return;
        const std::int64_t now = NowNs();
        if (form.lvSsid->RowCount() == kMaximalRows) {
            result.window.push_back(now - sentNs.load());
        } else {
            ++result.incomplete;
        }
        {
            std::lock_guard<std::mutex> guard(lock);
            ++handled;
        }
        handledSignal.notify_one();
    };
    RunWithLoop([&] {
        UdpSocket sender("127.0.0.1", 0);
        for (int i = 0; i < o.listReplies + 10; ++i) {
            // The rows' repaint runs between replies, as it would for a user.
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            sentNs = NowNs();
            sender.SendToLoopback(kEndpointPort, replies[i % 2].data(), replies[i % 2].size());
            std::unique_lock<std::mutex> guard(lock);
            handledSignal.wait_for(guard, std::chrono::seconds(2), [&] { return handled >= i + 1; });
        }
    });
    hooks.after = nullptr;
    // The first ten were the warm-up.
    if (result.window.size() > 10) result.window.erase(result.window.begin(), result.window.begin() + 10);
    return result;
}

// ---- 4. closing and 6. idle wake-ups -----------------------------------------

std::unique_ptr<net::TIdUDPServer> ActiveEndpoint(net::THandOver& handOver) {
    auto server = std::make_unique<net::TIdUDPServer>(handOver, "idpsrvr1");
    server->SetBroadcastEnabled(true);
    server->SetDefaultPort(kEndpointPort);
    server->OnUDPRead = [](net::TIdUDPListenerThread&, const TIdBytes&, net::TIdSocketHandle&) {};
    // The first send opens it, as the window's first scan does.
    server->SendDatagram("255.255.255.255", kSearchPort, BuildScanRequest());
    return server;
}

struct ClosingResult {
    std::vector<std::int64_t> times;
};

ClosingResult MeasureClosing(const Options& o) {
    ClosingResult result;
    net::THandOver handOver;
    for (int i = 0; i < o.closings; ++i) {
        auto server = ActiveEndpoint(handOver);
        // Listeners caught at different points of their 1000 ms wait.
        std::this_thread::sleep_for(std::chrono::milliseconds(120 + (i * 373) % 900));
        const std::int64_t t0 = NowNs();
        server.reset();
        result.times.push_back(NowNs() - t0);
    }
    return result;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Thread ids of this process whose name starts with `prefix`.
std::vector<std::string> ThreadsNamed(const std::string& prefix) {
    std::vector<std::string> tids;
    DIR* dir = ::opendir("/proc/self/task");
    if (dir == nullptr) return tids;
    while (dirent* e = ::readdir(dir)) {
        if (e->d_name[0] == '.') continue;
        std::string comm = ReadFile(std::string("/proc/self/task/") + e->d_name + "/comm");
        if (comm.rfind(prefix, 0) == 0) tids.emplace_back(e->d_name);
    }
    ::closedir(dir);
    std::sort(tids.begin(), tids.end());
    return tids;
}

long VoluntarySwitches(const std::string& tid) {
    const std::string status = ReadFile("/proc/self/task/" + tid + "/status");
    const std::string key = "voluntary_ctxt_switches:";
    const std::size_t at = status.find("\n" + key);
    if (at == std::string::npos) return -1;
    return std::strtol(status.c_str() + at + 1 + key.size(), nullptr, 10);
}

struct IdleResult {
    int listeners = 0;
    // Per listener: voluntary switches per second between its first and its
    // last observed wake-up, and the switches over the whole window.
    std::vector<double> rates;
    std::vector<long> switches;
    double window = 0;
};

IdleResult MeasureIdle(const Options& o) {
    IdleResult result;
    net::THandOver handOver;
    auto server = ActiveEndpoint(handOver);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const std::string prefix = net::TIdUDPListenerThread::SystemThreadName("idpsrvr1 Listener #1");
    const std::vector<std::string> tids = ThreadsNamed(prefix.substr(0, prefix.size() - 1));
    result.listeners = static_cast<int>(tids.size());
    struct Watch {
        long start = 0, last = 0, firstWake = -1, lastWake = -1;
        std::int64_t firstWakeNs = 0, lastWakeNs = 0;
    };
    std::vector<Watch> watches(tids.size());
    for (std::size_t i = 0; i < tids.size(); ++i) watches[i].start = watches[i].last = VoluntarySwitches(tids[i]);
    const std::int64_t t0 = NowNs();
    const auto end = t0 + static_cast<std::int64_t>(o.idleSeconds * 1e9);
    // Sampled every 2 ms: a change of the count is a wake-up.
    while (NowNs() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        const std::int64_t now = NowNs();
        for (std::size_t i = 0; i < tids.size(); ++i) {
            const long v = VoluntarySwitches(tids[i]);
            Watch& w = watches[i];
            if (v != w.last) {
                if (w.firstWake < 0) {
                    w.firstWake = v;
                    w.firstWakeNs = now;
                }
                w.lastWake = v;
                w.lastWakeNs = now;
                w.last = v;
            }
        }
    }
    result.window = static_cast<double>(NowNs() - t0) / 1e9;
    for (const Watch& w : watches) {
        result.switches.push_back(w.last - w.start);
        if (w.lastWakeNs > w.firstWakeNs) {
            result.rates.push_back(static_cast<double>(w.lastWake - w.firstWake) * 1e9 /
                                   static_cast<double>(w.lastWakeNs - w.firstWakeNs));
        } else {
            // One wake-up or none in the whole window.
            result.rates.push_back(static_cast<double>(w.last - w.start) / result.window);
        }
    }
    return result;
}

// ---- 5. start-up ------------------------------------------------------------------

struct StartupResult {
    std::vector<std::int64_t> programScan;  // melvorin: spawn -> scan request arrives
    std::vector<std::int64_t> formShown;    // probe with TForm2: spawn -> shown
    std::vector<std::int64_t> emptyShown;   // trivial Qt program: spawn -> shown
    int failures = 0;
};

void Drain(UdpSocket& s) {
    char buf[64];
    while (s.Receive(buf, sizeof buf, 0) >= 0) {
    }
}

// Spawns `argv`, waits for a datagram on `socket` (checked by `accept`),
// and returns the time from spawn to its arrival, or -1. The child is ended
// afterwards.
std::int64_t TimeSpawn(const std::vector<std::string>& argv, UdpSocket& socket,
                       const std::function<bool(const char*, long)>& accept, bool terminate) {
    Drain(socket);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const std::int64_t t0 = NowNs();
    const int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return -1;
    std::int64_t elapsed = -1;
    char buf[64];
    const std::int64_t deadline = t0 + 10'000'000'000LL;
    while (NowNs() < deadline) {
        const long n = socket.Receive(buf, sizeof buf, 100);
        if (n >= 0 && accept(buf, n)) {
            elapsed = NowNs() - t0;
            break;
        }
    }
    if (terminate || elapsed < 0) ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return elapsed;
}

StartupResult MeasureStartup(const Options& o) {
    StartupResult result;
    // The scan request goes to 255.255.255.255:1902, which the namespace
    // routes to loopback: a socket on the any-address receives it.
    UdpSocket scan("0.0.0.0", kSearchPort);
    UdpSocket shown("127.0.0.1", kShownPort);
    const auto isScan = [](const char* b, long n) {
        static const unsigned char request[5] = {0xFF, 0x00, 0x01, 0x01, 0x02};
        return n == 5 && std::memcmp(b, request, 5) == 0;
    };
    const auto isMarker = [](const char* b, long n) { return n == 1 && b[0] == 'S'; };
    const std::string port = std::to_string(kShownPort);
    for (int i = 0; i <= o.startupRuns; ++i) {
        const bool warmUp = i == 0;
        const std::int64_t e = TimeSpawn({o.emptyWindow, port}, shown, isMarker, false);
        const std::int64_t p = TimeSpawn({o.melvorin}, scan, isScan, true);
        const std::int64_t f = TimeSpawn({o.formWindow, port}, shown, isMarker, false);
        if (e < 0 || p < 0 || f < 0) ++result.failures;
        if (warmUp) continue;
        if (e >= 0) result.emptyShown.push_back(e);
        if (p >= 0) result.programScan.push_back(p);
        if (f >= 0) result.formShown.push_back(f);
    }
    return result;
}

// ---- the machine and the table ------------------------------------------------

std::string FirstLineWith(const std::string& path, const std::string& key) {
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(key, 0) == 0) {
            const auto colon = line.find(':');
            std::string v = colon == std::string::npos ? line : line.substr(colon + 1);
            v.erase(0, v.find_first_not_of(" \t"));
            return v;
        }
    }
    return "?";
}

std::string LoadAverage() {
    std::string s = ReadFile("/proc/loadavg");
    std::istringstream in(s);
    std::string a, b, c;
    in >> a >> b >> c;
    return a + " " + b + " " + c;
}

void PrintMachine(const char* when) {
    std::printf("%s: nproc %ld, CPU %s, memory %s, load average %s\n", when, ::sysconf(_SC_NPROCESSORS_ONLN),
                FirstLineWith("/proc/cpuinfo", "model name").c_str(),
                FirstLineWith("/proc/meminfo", "MemTotal").c_str(), LoadAverage().c_str());
    std::fflush(stdout);
}

std::string Us(std::int64_t ns) { return Format("%.1f µs", NsToUs(ns)); }
std::string Ms(std::int64_t ns) { return Format("%.2f ms", NsToMs(ns)); }
std::string Ratio(double r) { return Format("%.2f", r); }
std::string Met(bool ok) { return ok ? "yes" : "NO"; }

void Progress(const char* what) {
    std::fprintf(stderr, "bench: %s\n", what);
}

Options ParseOptions(int argc, char* argv[]) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--quick") {
            o.roundTrips = 2000;
            o.roundTripBlocks = 4;
            o.backToBackTrips = 1000;
            o.oneCpuTrips = 1000;
            o.streamRuns = 1;
            o.listReplies = 40;
            o.startupRuns = 2;
            o.closings = 3;
            o.idleSeconds = 2.2;
        } else if (a.rfind("--only=", 0) == 0) {
            o.only = a.substr(7);
        } else if (a == "--verbose") {
            o.verbose = true;
        } else if (a.rfind("--sender-nice=", 0) == 0) {
            o.senderNice = std::atoi(a.c_str() + 14);
        } else if (a.rfind("--pause-us=", 0) == 0) {
            o.pauseUs = std::atoi(a.c_str() + 11);
        } else {
            std::fprintf(stderr, "usage: %s [--quick] [--only=startup|roundtrip|throughput|list|closing|idle] [--verbose] [--pause-us=N] [--sender-nice=N]\n", argv[0]);
            std::exit(2);
        }
    }
    return o;
}

// ---- rows -------------------------------------------------------------------

void AddRoundTripRows(const RoundTripResult& rt, const RoundTripResult& oneCpu, const RoundTripResult& backToBack,
                      const std::vector<std::int64_t>& listenerOnly, const HandOverOnly& handOver,
                      std::vector<Row>& rows) {
    const auto ratio = [](std::int64_t a, std::int64_t b) {
        return b > 0 ? static_cast<double>(a) / static_cast<double>(b) : 0.0;
    };
    const std::int64_t p50 = Quantile(rt.product, 0.5), p99 = Quantile(rt.product, 0.99);
    const std::int64_t b50 = Quantile(rt.baseline, 0.5), b99 = Quantile(rt.baseline, 0.99);
    const std::string n = std::to_string(rt.product.size());
    rows.push_back({"Hand-over round trip p50 (" + n + " datagrams)", Us(p50), "QUdpSocket readyRead p50", Us(b50),
                    Ratio(ratio(p50, b50)), "-", "-"});
    rows.push_back({"Hand-over round trip p99 (" + n + " datagrams)", Us(p99), "QUdpSocket readyRead p99", Us(b99),
                    Ratio(ratio(p99, b99)), "ratio ≤ 2",
                    Met(p99 > 0 && ratio(p99, b99) <= 2.0 && rt.lostProduct == 0)});
    // Information lines: p50 / p99 in one cell.
    const auto pair = [&rows, &ratio](const std::string& what, const std::vector<std::int64_t>& ours,
                                      const std::string& baselineName, const std::vector<std::int64_t>& theirs) {
        if (ours.empty()) return;
        const std::int64_t o50 = Quantile(ours, 0.5), o99 = Quantile(ours, 0.99);
        const std::int64_t t50 = Quantile(theirs, 0.5), t99 = Quantile(theirs, 0.99);
        rows.push_back({what, Us(o50) + " / " + Us(o99), baselineName, Us(t50) + " / " + Us(t99),
                        Ratio(ratio(o50, t50)) + " / " + Ratio(ratio(o99, t99)), "-", "-"});
    };
    pair("  of which: datagram to listener thread, p50 / p99", listenerOnly, "QUdpSocket readyRead", rt.baseline);
    pair("  of which: hand-over to window's thread, p50 / p99", handOver.synchronize,
         "Qt BlockingQueuedConnection", handOver.qtBlocking);
    pair("  same, all threads on one processor (" + std::to_string(oneCpu.product.size()) + "), p50 / p99",
         oneCpu.product, "QUdpSocket readyRead", oneCpu.baseline);
    pair("  same, back to back (" + std::to_string(backToBack.product.size()) + "), p50 / p99", backToBack.product,
         "QUdpSocket readyRead", backToBack.baseline);
    const int lostP = rt.lostProduct + oneCpu.lostProduct + backToBack.lostProduct;
    const int lostB = rt.lostBaseline + oneCpu.lostBaseline + backToBack.lostBaseline;
    if (lostP + lostB > 0) std::printf("note: round trips lost: endpoint %d, QUdpSocket %d\n", lostP, lostB);
}

void AddThroughputRow(const StreamResult& stream, std::vector<Row>& rows) {
    const double r = stream.baseline > 0 ? stream.product / stream.baseline : 0;
    rows.push_back({"Throughput, datagrams handled per second",
                    Format("%.0f/s", stream.product) + Format(" (%.0f%% lost)", stream.lossProduct * 100),
                    "QUdpSocket readyRead",
                    Format("%.0f/s", stream.baseline) + Format(" (%.0f%% lost)", stream.lossBaseline * 100),
                    Ratio(r), "ratio ≥ 0.5", Met(r >= 0.5)});
}

void AddListRows(const ListResult& list, std::vector<Row>& rows) {
    const std::int64_t w50 = Quantile(list.window, 0.5), w99 = Quantile(list.window, 0.99);
    const std::int64_t p50 = Quantile(list.parse, 0.5), p99 = Quantile(list.parse, 0.99);
    auto ratio = [](std::int64_t a, std::int64_t b) {
        return b > 0 ? static_cast<double>(a) / static_cast<double>(b) : 0.0;
    };
    const std::string what = "Maximal list reply (8192 B, " + std::to_string(list.rows) + " rows)";
    rows.push_back({what + " p50", Ms(w50), "parse alone p50", Ms(p50), Ratio(ratio(w50, p50)), "< 10 ms",
                    Met(w50 > 0 && w50 < 10'000'000 && list.incomplete == 0)});
    rows.push_back({what + " p99", Ms(w99), "parse alone p99", Ms(p99), Ratio(ratio(w99, p99)), "-", "-"});
    if (list.incomplete > 0) std::printf("note: %d list replies left the list incomplete\n", list.incomplete);
}

void AddClosingRow(const ClosingResult& closing, std::vector<Row>& rows) {
    const std::int64_t worst = Quantile(closing.times, 1.0);
    rows.push_back({"Closing an active endpoint, idle listeners, worst of " + std::to_string(closing.times.size()),
                    Ms(worst), "wait period", "1000 ms", Format("%.4f", static_cast<double>(worst) / 1e9),
                    "< 20 ms", Met(!closing.times.empty() && worst < 20'000'000)});
}

void AddStartupRows(const StartupResult& startup, std::vector<Row>& rows) {
    const std::int64_t base = Quantile(startup.emptyShown, 0.5);
    const std::int64_t scan = Quantile(startup.programScan, 0.5);
    const std::int64_t shown = Quantile(startup.formShown, 0.5);
    auto ratio = [base](std::int64_t v) { return base > 0 ? static_cast<double>(v) / static_cast<double>(base) : 0.0; };
    const std::string n = std::to_string(startup.emptyShown.size());
    rows.push_back({"Start-up, melvorin: spawn to scan on the wire, p50 of " + n, Ms(scan),
                    "empty QWidget: spawn to shown", Ms(base), Ratio(ratio(scan)), "< 300 ms",
                    Met(scan > 0 && scan < 300'000'000)});
    rows.push_back({"Start-up, TForm2 probe: spawn to shown, p50 of " + n, Ms(shown),
                    "empty QWidget: spawn to shown", Ms(base), Ratio(ratio(shown)), "< 300 ms",
                    Met(shown > 0 && shown < 300'000'000)});
    if (startup.failures > 0) std::printf("note: %d start-up runs got no datagram\n", startup.failures);
}

void AddIdleRow(const IdleResult& idle, std::vector<Row>& rows) {
    double worst = 0;
    long most = 0;
    for (std::size_t i = 0; i < idle.rates.size(); ++i) {
        worst = std::max(worst, idle.rates[i]);
        most = std::max(most, idle.switches[i]);
    }
    // 2% for the 2 ms sampling of the wake-ups' times.
    rows.push_back({"Idle wake-ups per listener (" + std::to_string(idle.listeners) + " listeners, " +
                        std::to_string(most) + Format(" in %.1f s at most)", idle.window),
                    Format("%.3f/s", worst), "one per wait period", "1.000/s", Format("%.3f", worst), "≤ 1/s",
                    Met(idle.listeners > 0 && worst <= 1.02)});
}

int Run(int argc, char* argv[]) {
    const Options o = ParseOptions(argc, argv);
    const std::string problem = melvorin::testing::PrivateNetnsProblem();
    if (!problem.empty()) {
        std::fprintf(stderr, "refusing to run outside a private network namespace: %s\n", problem.c_str());
        return 2;
    }
    // Every window here, the spawned programs' included, is offscreen.
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    PrintMachine("start");
    std::vector<Row> rows;
    const auto wanted = [&o](const char* name) { return o.only.empty() || o.only == name; };

    // Start-up first, while this process holds no port 12345.
    if (wanted("startup")) {
        Progress("start-up");
        AddStartupRows(MeasureStartup(o), rows);
    }

    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication app(qtArgc, qtArgv);

    if (wanted("roundtrip") || wanted("throughput") || wanted("list")) {
        ui::THandOverPump pump;
        QuietBoxes boxes;
        ui::TForm2 form(boxes, pump.HandOver());
        ReadHooks hooks;
        InstallHooks(form, hooks);
        form.FormCreate();
        form.ShowCentred();
        QApplication::processEvents();
        for (const auto& e : boxes.errors) std::printf("note: the window's first scan failed: %s\n", e.c_str());
        QtReceiver qt(kBaselinePort);
        std::uint32_t run = 0;
        if (wanted("roundtrip")) {
            Progress("hand-over round trip");
            const RoundTripResult atRest =
                MeasureRoundTrip(o.roundTrips, o.roundTripBlocks, o.pauseUs, hooks, qt, run);
            const RoundTripResult oneCpu = MeasureOnOneCpu(
                [&] { return MeasureRoundTrip(o.oneCpuTrips, 4, o.pauseUs, hooks, qt, run); }, hooks);
            const RoundTripResult backToBack = MeasureRoundTrip(o.backToBackTrips, 2, 0, hooks, qt, run);
            const std::vector<std::int64_t> listenerOnly =
                MeasureListenerOnly(pump.HandOver(), o.roundTrips / 2, o.roundTripBlocks, o.pauseUs, run);
            const HandOverOnly handOver =
                MeasureHandOverOnly(pump.HandOver(), o.roundTrips / 2, o.roundTripBlocks, o.pauseUs);
            AddRoundTripRows(atRest, oneCpu, backToBack, listenerOnly, handOver, rows);
        }
        if (wanted("throughput")) {
            Progress("throughput");
            AddThroughputRow(MeasureThroughput(o, hooks, qt, run), rows);
        }
        if (wanted("list")) {
            Progress("list reply");
            AddListRows(MeasureListReply(o, hooks, form), rows);
        }
        form.hide();
        form.CloseEndpoint();
    }
    ReleaseState();

    if (wanted("closing")) {
        Progress("closing");
        AddClosingRow(MeasureClosing(o), rows);
    }
    if (wanted("idle")) {
        Progress("idle wake-ups");
        AddIdleRow(MeasureIdle(o), rows);
    }

    PrintMachine("end");
    std::printf("\n");
    PrintTable(rows);
    return 0;
}

}  // namespace

}  // namespace melvorin::bench

int main(int argc, char* argv[]) {
    try {
        return melvorin::bench::Run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench: %s\n", e.what());
        return 1;
    }
}
