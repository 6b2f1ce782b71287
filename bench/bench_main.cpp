// Melvorin's benchmarks: what a user of the program feels, each figure beside
// a baseline measured in the same run, printed as one table. Each benchmark
// is a file of its own; kBenchmarks below lists them in the table's order.
//
// Runs inside a private network namespace only (scripts/in-netns).

#include <unistd.h>

#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <sstream>
#include <string>
#include <vector>

#include "bench.h"
#include "quiet_boxes.h"
#include "protocol/scan.h"
#include "startup_probe.h"
#include "qt/form2.h"
#include "qt/handover_pump.h"
#include "window/program.h"

namespace melvorin::bench {

// One line each; defined in the file named beside it.
Benchmark StartupBenchmark();     // bench_startup.cpp
Benchmark RoundTripBenchmark();   // bench_roundtrip.cpp
Benchmark ThroughputBenchmark();  // bench_throughput.cpp
Benchmark ListReplyBenchmark();   // bench_list_reply.cpp
Benchmark ClosingBenchmark();     // bench_closing.cpp
Benchmark IdleBenchmark();        // bench_idle.cpp
Benchmark ScanSendBenchmark();    // bench_interfaces.cpp
Benchmark CliBenchmark();         // bench_cli.cpp
Benchmark BurstBenchmark();       // bench_burst.cpp
Benchmark MakersBenchmark();      // bench_makers.cpp
Benchmark UnitsBenchmark();       // bench_units.cpp
Benchmark WatchBenchmark();       // bench_units.cpp
Benchmark SpoofBenchmark();       // bench_spoof.cpp
Benchmark SealBenchmark();        // bench_seal.cpp

namespace {

std::vector<Benchmark> AllBenchmarks() {
    return {
        StartupBenchmark(),
        RoundTripBenchmark(),
        ThroughputBenchmark(),
        ListReplyBenchmark(),
        ClosingBenchmark(),
        IdleBenchmark(),
        ScanSendBenchmark(),
        CliBenchmark(),
        BurstBenchmark(),
        MakersBenchmark(),
        UnitsBenchmark(),
        WatchBenchmark(),
        SpoofBenchmark(),
        SealBenchmark(),
    };
}

// ---- the window under test ----------------------------------------------------

void InstallHooks(qt::TForm2& form, ReadHooks& hooks) {
    form.Logic().SetReadHooks({[&hooks](const TIdBytes& data) {
                                   if (hooks.before) hooks.before(data);
                               },
                               [&hooks](const TIdBytes& data) {
                                   if (hooks.after) hooks.after(data);
                               }});
    hooks.reopen = [&form] {
        net::TIdUDPServer& endpoint = form.Logic().Endpoint();
        endpoint.SetActive(false);
        endpoint.SendDatagram("255.255.255.255", kDefaultSearchPort, BuildScanRequest());
    };
}

void RunEach(const std::vector<const Benchmark*>& list, Context& context) {
    for (const Benchmark* b : list) {
        std::fprintf(stderr, "bench: %s\n", b->progress);
        b->run(context);
    }
}

// Runs `list` inside the window's event loop: the program's own run
// sequence, with the hooks installed once the window is built and the
// benchmarks started once it is shown. The loop ends after the last one.
void RunInWindow(const std::vector<const Benchmark*>& list, Context& context) {
    QuietBoxes boxes;
    ReadHooks hooks;
    std::exception_ptr failure;
    window::RunMainWindow<qt::THandOverPump, qt::TForm2>(boxes, [&](qt::TForm2& form) {
        InstallHooks(form, hooks);
        qt::TForm2* const shown = &form;
        QTimer::singleShot(0, shown, [&, shown] {
            try {
                QApplication::processEvents();
                for (const auto& e : boxes.errors) {
                    std::printf("note: the window's first scan failed: %s\n", e.c_str());
                }
                QtReceiver qt(kBaselinePort);
                WindowUnderTest window{*shown, hooks, qt};
                context.window = &window;
                RunEach(list, context);
            } catch (...) {
                failure = std::current_exception();
            }
            context.window = nullptr;
            QApplication::quit();
        });
    });
    if (failure) std::rethrow_exception(failure);
}

// ---- the machine -------------------------------------------------------------

std::string FirstLineWith(const std::string& path, const std::string& key) {
    std::istringstream in(ReadFile(path));
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

void PrintMachine(const char* when) {
    std::istringstream load(ReadFile("/proc/loadavg"));
    std::string a, b, c;
    load >> a >> b >> c;
    std::printf("%s: nproc %ld, CPU %s, memory %s, load average %s\n", when, ::sysconf(_SC_NPROCESSORS_ONLN),
                FirstLineWith("/proc/cpuinfo", "model name").c_str(),
                FirstLineWith("/proc/meminfo", "MemTotal").c_str(), (a + " " + b + " " + c).c_str());
    std::fflush(stdout);
}

// ---- options -----------------------------------------------------------------

[[noreturn]] void Usage(const char* program, const std::vector<Benchmark>& all) {
    std::string names;
    for (const Benchmark& b : all) {
        if (!names.empty()) names += '|';
        names += b.name;
    }
    std::fprintf(stderr, "usage: %s [--quick] [--only=%s] [--verbose] [--pause-us=N] [--sender-nice=N]\n", program,
                 names.c_str());
    std::exit(2);
}

Options ParseOptions(int argc, char* argv[], const std::vector<Benchmark>& all, std::string& only) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--quick") {
            o.quick = true;
        } else if (a.rfind("--only=", 0) == 0) {
            only = a.substr(7);
            bool known = false;
            for (const Benchmark& b : all) known = known || only == b.name;
            if (!known) Usage(argv[0], all);
        } else if (a == "--verbose") {
            o.verbose = true;
        } else if (a.rfind("--sender-nice=", 0) == 0) {
            o.senderNice = std::atoi(a.c_str() + 14);
        } else if (a.rfind("--pause-us=", 0) == 0) {
            o.pauseUs = std::atoi(a.c_str() + 11);
        } else {
            Usage(argv[0], all);
        }
    }
    return o;
}

int Run(int argc, char* argv[]) {
    const std::vector<Benchmark> all = AllBenchmarks();
    std::string only;
    const Options o = ParseOptions(argc, argv, all, only);
    if (!InPrivateNetns()) return 2;
    // Every window here, the spawned programs' included, is offscreen.
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    PrintMachine("start");
    std::vector<Row> rows;
    Context context{o, rows};
    const auto inStage = [&](Stage stage) {
        std::vector<const Benchmark*> list;
        for (const Benchmark& b : all) {
            if (b.stage == stage && (only.empty() || only == b.name)) list.push_back(&b);
        }
        return list;
    };
    RunEach(inStage(Stage::BeforeApplication), context);
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication app(qtArgc, qtArgv);
    const auto windowed = inStage(Stage::InWindow);
    if (!windowed.empty()) RunInWindow(windowed, context);
    RunEach(inStage(Stage::AfterWindow), context);

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
