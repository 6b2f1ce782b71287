#pragma once

// What every benchmark shares: the run's options, the table it adds rows to,
// and, for the benchmarks that go through the window, the window under test
// with hooks around its datagram handler and a QUdpSocket baseline.
//
// Adding a benchmark: one source file that defines a function returning its
// Benchmark, listed in AllBenchmarks() in bench_main.cpp and in CMakeLists.txt.

#include <QObject>
#include <QUdpSocket>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bench_util.h"
#include "protocol/bytes.h"
#include "protocol/ports.h"

namespace melvorin::qt {
class TForm2;
}
namespace melvorin::net {
class THandOver;
class TIdUDPServer;
}

namespace melvorin::bench {

// The baseline's own port; the window's are kReplyPort and kDefaultSearchPort.
constexpr std::uint16_t kBaselinePort = 23456;

struct Options {
    bool quick = false;     // a short run
    bool verbose = false;   // per-run figures on stderr
    int pauseUs = 100;      // between round trips
    int senderNice = 19;    // the stream's sender yields to the receivers
    std::string melvorin = MELVORIN_PROGRAM;
    std::string emptyWindow = BENCH_EMPTY_WINDOW;
    std::string formWindow = BENCH_FORM_WINDOW;
    std::string cli = MELVORIN_CLI;

    // `full` for a normal run, `quick` for --quick.
    template <typename T>
    T Pick(T full, T quickValue) const { return quick ? quickValue : full; }
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

// The Qt baseline: a QUdpSocket on the window's thread whose readyRead reads
// every pending datagram into a buffer of the endpoint's size.
class QtReceiver : public QObject {
public:
    explicit QtReceiver(std::uint16_t port);
    std::function<void(const std::uint8_t*, std::size_t)> onDatagram;

private:
    QUdpSocket socket_;
    std::vector<std::uint8_t> buffer_;
};

// The program's window, shown and running its event loop, with the hooks
// installed and the baseline socket bound.
struct WindowUnderTest {
    qt::TForm2& form;
    ReadHooks& hooks;
    QtReceiver& qt;
    // Tags each run's datagrams, so that late ones of an earlier run are
    // told apart. Shared by the benchmarks of one window.
    std::uint32_t run = 0;
};

// Where a benchmark runs; the stages run in this order.
enum class Stage {
    BeforeApplication,  // no QApplication yet, no port held by this process
    InWindow,           // inside the window's event loop (`window` is set)
    AfterWindow,        // the window closed, its port free again
};

struct Context {
    const Options& options;
    std::vector<Row>& rows;
    WindowUnderTest* window = nullptr;
};

struct Benchmark {
    const char* name;      // for --only=NAME
    const char* progress;  // shown on stderr when it starts
    Stage stage;
    std::function<void(Context&)> run;
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

bool ReadStamp(const std::uint8_t* data, std::size_t size, Stamp& stamp);

// An endpoint named like the window's, on its port, with a handler that
// does nothing, opened by a first send as the window's first scan does.
std::unique_ptr<net::TIdUDPServer> ActiveEndpoint(net::THandOver& handOver);

// Runs the window thread's event loop until `work` (on a thread of its own)
// has finished.
void RunWithLoop(const std::function<void()>& work);

// Table cells.
std::string Us(std::int64_t ns);
std::string Ms(std::int64_t ns);
std::string Ratio(double r);
std::string Met(bool ok);
// a / b, 0 when b is not positive.
double RatioOf(std::int64_t a, std::int64_t b);

}  // namespace melvorin::bench
