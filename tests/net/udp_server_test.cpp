// The UDP endpoint on real sockets (inside the test's private namespace):
// activation, bind failures, sending, receiving, the hand-over to the
// window's thread and closing.

#ifdef _WIN32
#include <winsock2.h>
#include <windows.h>
#include <tlhelp32.h>
#else
#include <dirent.h>
#endif

#include <atomic>
#include <mutex>
#include <fstream>
#include <set>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "net/errors.h"
#include "net/handover.h"
#include "net/listener.h"
#include "net/sockets.h"
#include "net/stack.h"
#include "net/udp_server.h"
#include "net_test_util.h"
#include "udp_peer.h"

namespace melvorin::net {
namespace {

using test::LoopOf;
using test::PumpUntil;
using test::UdpPeer;

constexpr std::uint16_t kLocalPort = 12345;
constexpr std::uint16_t kSearchPort = 1902;
const TIdBytes kScanRequest = {0xFF, 0x00, 0x01, 0x01, 0x02};

bool IPv6Here() {
    THandOver handOver;
    TIdUDPServer probe(handOver, "probe");
    return TIdStack::Instance()->SupportsIPv6();
}

// The endpoint as the window sets it up.
struct Endpoint {
    explicit Endpoint(THandOver& handOver) : server(handOver, "idpsrvr1") {
        server.SetBroadcastEnabled(true);
        server.SetDefaultPort(kLocalPort);
    }
    TIdUDPServer server;
};

// What the handlers saw.
struct Seen {
    std::vector<TIdBytes> data;
    std::vector<std::string> peerIPs;
    std::vector<std::uint16_t> peerPorts;
    std::vector<TIdSocketHandle*> bindings;
    std::vector<std::thread::id> threads;
    std::vector<std::string> listenerNames;
    std::vector<std::string> errorMessages;
    std::vector<std::string> errorClasses;
    // Dropped errors as the log got them (on the listeners' threads).
    std::mutex logLock;
    std::vector<std::string> dropped;
    std::vector<std::string> Dropped() {
        std::lock_guard<std::mutex> lock(logLock);
        return dropped;
    }
};

void Record(TIdUDPServer& server, Seen& seen) {
    server.OnUDPRead = [&seen](TIdUDPListenerThread& thread, const TIdBytes& data, TIdSocketHandle& binding) {
        seen.data.push_back(data);
        seen.peerIPs.push_back(binding.PeerIP);
        seen.peerPorts.push_back(binding.PeerPort);
        seen.bindings.push_back(&binding);
        seen.threads.push_back(std::this_thread::get_id());
        seen.listenerNames.push_back(thread.Name());
    };
    server.OnUDPException = [&seen](TIdUDPListenerThread&, TIdSocketHandle&, const std::string& message,
                                    const std::string& kind) {
        seen.errorMessages.push_back(message);
        seen.errorClasses.push_back(kind);
    };
    server.OnLog = [&seen](const TIdLogEntry& entry) {
        std::lock_guard<std::mutex> lock(seen.logLock);
        if (entry.Kind == TIdLogKind::Dropped) seen.dropped.push_back(entry.Message);
    };
}

std::set<std::string> ThreadNamesOfThisProcess() {
    std::set<std::string> names;
#ifdef _WIN32
    using GetDescription = HRESULT(WINAPI*)(HANDLE, PWSTR*);
    const auto describe = reinterpret_cast<GetDescription>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetThreadDescription")));
    if (describe == nullptr) return names;
    const HANDLE all = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(all, &entry); more; more = Thread32Next(all, &entry)) {
        if (entry.th32OwnerProcessID != GetCurrentProcessId()) continue;
        const HANDLE thread = OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ThreadID);
        wchar_t* wide = nullptr;
        if (thread != nullptr && SUCCEEDED(describe(thread, &wide))) {
            std::string name;
            for (const wchar_t* c = wide; *c != 0; ++c) name += static_cast<char>(*c);  // ASCII names
            names.insert(name);
            LocalFree(wide);
        }
        if (thread != nullptr) CloseHandle(thread);
    }
    CloseHandle(all);
#else
    DIR* tasks = opendir("/proc/self/task");
    if (tasks == nullptr) return names;
    while (const dirent* entry = readdir(tasks)) {
        if (entry->d_name[0] == '.') continue;
        std::ifstream comm(std::string("/proc/self/task/") + entry->d_name + "/comm");
        std::string name;
        std::getline(comm, name);
        names.insert(name);
    }
    closedir(tasks);
#endif
    return names;
}

class UdpEndpoint : public ::testing::Test {
protected:
    // Opens `e` with an empty send, its handlers recording into `seen`, and
    // binds `device` to a free loopback port.
    void Open() {
        Record(e.server, seen);
        e.server.SendDatagram("255.255.255.255", kSearchPort, {});
        ASSERT_TRUE(device.Bind("127.0.0.1", 0));
    }
    bool Send(const TIdBytes& data) { return device.SendTo("127.0.0.1", kLocalPort, data); }

    THandOver handOver;  // this thread is its window's thread
    Endpoint e{handOver};
    Seen seen;
    UdpPeer device;
};

TEST_F(UdpEndpoint, CreatedEndpointOpensNothing) {
    EXPECT_FALSE(e.server.Active());
    EXPECT_EQ(e.server.ListenerCount(), 0);
    EXPECT_TRUE(e.server.Bindings().Empty());
    EXPECT_EQ(e.server.BufferSize, 8192);
    EXPECT_FALSE(e.server.ThreadedEvent);
    EXPECT_EQ(e.server.IPVersion, TIdIPVersion::Id_IPv4);
    EXPECT_TRUE(testing::PortFree(kLocalPort));
}

TEST_F(UdpEndpoint, FirstSendActivatesAndBroadcastsTheScanRequestFromPort12345) {
    const bool v6 = IPv6Here();
    ASSERT_TRUE(device.Bind("", kSearchPort));
    e.server.SendDatagram("255.255.255.255", kSearchPort, kScanRequest);

    EXPECT_TRUE(e.server.Active());
    const int count = v6 ? 2 : 1;
    ASSERT_EQ(e.server.Bindings().Count(), count);
    ASSERT_EQ(e.server.ListenerCount(), count);
    std::vector<std::string> names = {"idpsrvr1 Listener #1"};
    if (v6) names.push_back("idpsrvr1 Listener #2");
    EXPECT_EQ(e.server.ListenerNames(), names);
    // The system's thread names: whole on Windows, shortened to Linux's 15
    // characters there.
#ifdef _WIN32
    const std::string systemNames[] = {"idpsrvr1 Listener #1", "idpsrvr1 Listener #2"};
#else
    const std::string systemNames[] = {"idpsrvr1 #1", "idpsrvr1 #2"};
#endif
    const auto named = ThreadNamesOfThisProcess();
    for (int i = 0; i < count; ++i) EXPECT_TRUE(named.count(systemNames[i])) << systemNames[i];

    TIdSocketHandle& first = e.server.Bindings()[0];
    EXPECT_EQ(first.IPVersion, TIdIPVersion::Id_IPv4);
    EXPECT_EQ(first.IP, "0.0.0.0");
    for (int i = 0; i < count; ++i) {
        TIdSocketHandle& binding = e.server.Bindings()[i];
        EXPECT_TRUE(binding.Opened());
        EXPECT_EQ(binding.Port, kLocalPort);
        EXPECT_EQ(test::SocketIntOption(binding.Handle(), SOL_SOCKET, SO_BROADCAST), 1) << i;
        EXPECT_EQ(test::SocketIntOption(binding.Handle(), SOL_SOCKET, SO_REUSEADDR), 0) << i;
    }
    if (v6) {
        TIdSocketHandle& second = e.server.Bindings()[1];
        EXPECT_EQ(second.IPVersion, TIdIPVersion::Id_IPv6);
        EXPECT_EQ(second.IP, "0:0:0:0:0:0:0:0");
        EXPECT_EQ(test::SocketIntOption(second.Handle(), IPPROTO_IPV6, IPV6_V6ONLY), 1);
    }

    const auto got = device.Receive(2000);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->data, kScanRequest);
    EXPECT_EQ(got->fromPort, kLocalPort);
    EXPECT_FALSE(device.Receive(100).has_value());

    // An empty send opens nothing more and sends nothing.
    e.server.SendDatagram("255.255.255.255", kSearchPort, {});
    EXPECT_EQ(e.server.ListenerCount(), count);
    EXPECT_FALSE(device.Receive(200).has_value());
}

TEST_F(UdpEndpoint, BroadcastRefusedWithoutPermissionAndGrantedWhenEnabled) {
    ASSERT_TRUE(device.Bind("", kSearchPort));
    e.server.SetBroadcastEnabled(false);
    try {
        e.server.SendDatagram("255.255.255.255", kSearchPort, kScanRequest);
        FAIL() << "broadcast sent without permission";
    } catch (const EIdSocketError& error) {
        EXPECT_EQ(error.LastError(), 10013);
        EXPECT_EQ(error.Message(), "Socket Error # 10013\r\nAccess denied.");
    }
    // The endpoint was activated all the same, with the option off everywhere.
    EXPECT_TRUE(e.server.Active());
    for (int i = 0; i < e.server.Bindings().Count(); ++i) {
        EXPECT_EQ(test::SocketIntOption(e.server.Bindings()[i].Handle(), SOL_SOCKET, SO_BROADCAST), 0);
    }
    EXPECT_FALSE(device.Receive(100).has_value());

    // Changing the property while active sets every binding at once.
    e.server.SetBroadcastEnabled(true);
    for (int i = 0; i < e.server.Bindings().Count(); ++i) {
        EXPECT_EQ(test::SocketIntOption(e.server.Bindings()[i].Handle(), SOL_SOCKET, SO_BROADCAST), 1);
    }
    e.server.SendDatagram("255.255.255.255", kSearchPort, kScanRequest);
    const auto got = device.Receive(2000);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->data, kScanRequest);
}

// Port 12345 held by another socket of one family: the bind error, the
// bindings left as they were, and the next send after the holder let go works.
TEST_F(UdpEndpoint, PortHeldGivesTheBindErrorAndTheNextSendWorks) {
    for (const int family : {AF_INET, AF_INET6}) {
        SCOPED_TRACE(family == AF_INET ? "held over IPv4" : "held over IPv6");
        if (family == AF_INET6 && !IPv6Here()) GTEST_SKIP() << "no IPv6 in this namespace";
        Endpoint held{handOver};
        UdpPeer searchPort;
        ASSERT_TRUE(searchPort.Bind("", kSearchPort));
        auto holder = std::make_unique<UdpPeer>(family);
        ASSERT_TRUE(holder->Bind("", kLocalPort));
        try {
            held.server.SendDatagram("255.255.255.255", kSearchPort, kScanRequest);
            FAIL() << "bound a port in use";
        } catch (const EIdCouldNotBindSocket& error) {
            EXPECT_EQ(error.Message(), "Could not bind socket. Address and port are already in use.");
        }
        EXPECT_FALSE(held.server.Active());
        EXPECT_EQ(held.server.ListenerCount(), 0);
        // The failing binding keeps its unbound socket; the others are closed.
        const int failing = family == AF_INET ? 0 : 1;
        for (int i = 0; i < held.server.Bindings().Count(); ++i) {
            EXPECT_EQ(held.server.Bindings()[i].Opened(), i == failing) << i;
        }
        EXPECT_FALSE(searchPort.Receive(100).has_value());
        if (family == AF_INET6) {
            EXPECT_TRUE(testing::PortFree(kLocalPort, AF_INET));  // the IPv4 socket let go
        }

        holder.reset();
        const int count = held.server.Bindings().Count();
        held.server.SendDatagram("255.255.255.255", kSearchPort, kScanRequest);
        EXPECT_TRUE(held.server.Active());
        EXPECT_EQ(held.server.Bindings().Count(), count);  // the list is reused
        EXPECT_EQ(held.server.ListenerCount(), count);
        const auto got = searchPort.Receive(2000);
        ASSERT_TRUE(got.has_value());
        EXPECT_EQ(got->fromPort, kLocalPort);
    }
}

TEST_F(UdpEndpoint, UnresolvableHostLeavesTheEndpointAsItWas) {
    for (const char* host : {"1.2.3.256", "no-such-host.invalid"}) {
        try {
            e.server.SendDatagram(host, kSearchPort, kScanRequest);
            ADD_FAILURE() << host;
        } catch (const EIdSocketError& error) {
            EXPECT_EQ(error.Message(), "Socket Error # 11001\r\nHost not found.");
        }
    }
    EXPECT_FALSE(e.server.Active());
    EXPECT_TRUE(e.server.Bindings().Empty());

    // A name is looked up and the datagram goes to its address.
    ASSERT_TRUE(device.Bind("127.0.0.1", 0));
    e.server.SendDatagram("localhost", device.LocalPort(), {1, 2, 3});
    const auto got = device.Receive(2000);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->data, (TIdBytes{1, 2, 3}));
    EXPECT_EQ(got->fromPort, kLocalPort);
}

TEST_F(UdpEndpoint, DatagramArrivesOnTheWindowsThreadWithItsSender) {
    const bool v6 = IPv6Here();
    Open();
    ASSERT_TRUE(Send({0xFF, 0x01, 0x02}));
    ASSERT_TRUE(PumpUntil(LoopOf(handOver), [&] { return seen.data.size() == 1; }));
    EXPECT_EQ(seen.data[0], (TIdBytes{0xFF, 0x01, 0x02}));
    EXPECT_EQ(seen.threads[0], std::this_thread::get_id());
    EXPECT_EQ(seen.peerIPs[0], "127.0.0.1");
    EXPECT_EQ(seen.peerPorts[0], device.LocalPort());
    EXPECT_EQ(seen.bindings[0], &e.server.Bindings()[0]);
    EXPECT_EQ(seen.listenerNames[0], "idpsrvr1 Listener #1");

    if (v6) {
        UdpPeer device6(AF_INET6);
        ASSERT_TRUE(device6.Bind("::1", 0));
        ASSERT_TRUE(device6.SendTo("::1", kLocalPort, {0x07}));
        ASSERT_TRUE(PumpUntil(LoopOf(handOver), [&] { return seen.data.size() == 2; }));
        EXPECT_EQ(seen.data[1], (TIdBytes{0x07}));
        EXPECT_EQ(seen.threads[1], std::this_thread::get_id());
        EXPECT_EQ(seen.peerIPs[1], "0:0:0:0:0:0:0:1");
        EXPECT_EQ(seen.peerPorts[1], device6.LocalPort());
        EXPECT_EQ(seen.bindings[1], &e.server.Bindings()[1]);
        EXPECT_EQ(seen.bindings[1]->IPVersion, TIdIPVersion::Id_IPv6);
        EXPECT_EQ(seen.listenerNames[1], "idpsrvr1 Listener #2");
    }
    EXPECT_TRUE(seen.errorMessages.empty());
}

TEST_F(UdpEndpoint, ListenerWaitsUntilItsDatagramWasHandled) {
    Open();
    ASSERT_TRUE(Send({1}));
    ASSERT_TRUE(Send({2}));
    // The first datagram waits for the window's thread; the listener does not
    // read the second meanwhile.
    ASSERT_TRUE(handOver.WaitForQueued(3000));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(seen.data.empty());
    EXPECT_EQ(testing::PendingBytes(e.server.Bindings()[0].Handle()), 1);  // the second datagram is still in the socket
    ASSERT_TRUE(PumpUntil(LoopOf(handOver), [&] { return seen.data.size() == 2; }));
    EXPECT_EQ(seen.data[0], TIdBytes{1});
    EXPECT_EQ(seen.data[1], TIdBytes{2});
}

TEST_F(UdpEndpoint, EmptyAndBufferSizedDatagramsWholeAndOneByteMoreFailsItsCycle) {
    Open();
    ASSERT_TRUE(Send({}));
    ASSERT_TRUE(PumpUntil(LoopOf(handOver), [&] { return seen.data.size() == 1; }));
    EXPECT_TRUE(seen.data[0].empty());
    EXPECT_EQ(seen.peerPorts[0], device.LocalPort());

    TIdBytes full(8192);
    for (std::size_t i = 0; i < full.size(); ++i) full[i] = static_cast<std::uint8_t>(i * 7 + 3);
    ASSERT_TRUE(Send(full));
    ASSERT_TRUE(PumpUntil(LoopOf(handOver), [&] { return seen.data.size() == 2; }));
    EXPECT_EQ(seen.data[1], full);

    TIdBytes tooLong(8193, 0x5A);
    ASSERT_TRUE(Send(tooLong));
    ASSERT_TRUE(PumpUntil(LoopOf(handOver), [&] { return seen.errorMessages.size() == 1; }));
    EXPECT_EQ(seen.errorMessages[0], "Socket Error # 10040\r\nMessage too long.");
    EXPECT_EQ(seen.errorClasses[0], "EIdSocketError");

    // The listener goes on, and the oversized datagram is gone for good.
    ASSERT_TRUE(Send({9, 8, 7}));
    ASSERT_TRUE(PumpUntil(LoopOf(handOver), [&] { return seen.data.size() == 3; }));
    EXPECT_EQ(seen.data[2], (TIdBytes{9, 8, 7}));
    EXPECT_EQ(seen.errorMessages.size(), 1u);

    // Without an error handler the failed cycle goes to the log only.
    EXPECT_TRUE(seen.Dropped().empty());
    e.server.OnUDPException = nullptr;
    ASSERT_TRUE(Send(tooLong));
    ASSERT_TRUE(Send({6}));
    ASSERT_TRUE(PumpUntil(LoopOf(handOver), [&] { return seen.data.size() == 4; }));
    EXPECT_EQ(seen.data[3], TIdBytes{6});
    EXPECT_EQ(seen.Dropped(), std::vector<std::string>{"EIdSocketError: Socket Error # 10040\r\nMessage too long."});
}

TEST_F(UdpEndpoint, HandlerThatRaisesDoesNotDisturbItsListener) {
    Open();
    int calls = 0;
    e.server.OnUDPRead = [&](TIdUDPListenerThread& thread, const TIdBytes& data, TIdSocketHandle&) {
        ++calls;
        if (data.size() == 1) throw EConvertError("'x' is not a valid integer value");
        if (data.size() == 2) throw std::runtime_error("plain");
        seen.data.push_back(data);
        // The failed cycle's error stays recorded on the listener.
        seen.listenerNames.push_back(thread.ErrorClass);
    };
    ASSERT_TRUE(Send({1}));
    ASSERT_TRUE(Send({1, 2}));
    ASSERT_TRUE(Send({1, 2, 3}));
    ASSERT_TRUE(PumpUntil(LoopOf(handOver), [&] { return seen.data.size() == 1; }));
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(seen.data[0], (TIdBytes{1, 2, 3}));
    ASSERT_EQ(seen.errorMessages.size(), 2u);
    EXPECT_EQ(seen.errorMessages[0], "'x' is not a valid integer value");
    EXPECT_EQ(seen.errorClasses[0], "EConvertError");
    EXPECT_EQ(seen.errorMessages[1], "plain");
    EXPECT_EQ(seen.errorClasses[1], "Exception");
    EXPECT_EQ(seen.listenerNames[0], "Exception");
    EXPECT_TRUE(e.server.Active());

    // An error handler that raises in its turn does not end the listener.
    e.server.OnUDPException = [&](TIdUDPListenerThread&, TIdSocketHandle&, const std::string&, const std::string&) {
        throw Exception("worse");
    };
    ASSERT_TRUE(Send({1}));
    ASSERT_TRUE(Send({4, 4, 4}));
    ASSERT_TRUE(PumpUntil(LoopOf(handOver), [&] { return seen.data.size() == 2; }));
    EXPECT_EQ(calls, 5);
    EXPECT_EQ(seen.Dropped(), std::vector<std::string>{"Exception: worse"});
}

TEST_F(UdpEndpoint, ThreadedEventRunsOnTheListenersThread) {
    e.server.ThreadedEvent = true;
    std::atomic<bool> got{false};
    std::thread::id ranOn;
    e.server.OnUDPRead = [&](TIdUDPListenerThread&, const TIdBytes&, TIdSocketHandle&) {
        ranOn = std::this_thread::get_id();
        got = true;
    };
    e.server.SendDatagram("255.255.255.255", kSearchPort, {});
    ASSERT_TRUE(Send({1}));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (!got && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(got.load());
    EXPECT_NE(ranOn, std::this_thread::get_id());
    EXPECT_FALSE(handOver.RunQueued());
}

TEST_F(UdpEndpoint, DestroyingDuringAHandOverRunsTheHandlerThenEnds) {
    int handled = 0;
    {
        Endpoint inner{handOver};
        inner.server.OnUDPRead = [&](TIdUDPListenerThread&, const TIdBytes& data, TIdSocketHandle& binding) {
            // Everything the handler touches is still there.
            EXPECT_EQ(data, (TIdBytes{5, 5}));
            EXPECT_EQ(binding.PeerIP, "127.0.0.1");
            ++handled;
        };
        inner.server.SendDatagram("255.255.255.255", kSearchPort, {});
        ASSERT_TRUE(Send({5, 5}));
        // The listener is now waiting for the window's thread, which instead
        // destroys the endpoint.
        ASSERT_TRUE(handOver.WaitForQueued(3000));
        EXPECT_EQ(handled, 0);
    }
    EXPECT_EQ(handled, 1);
    EXPECT_FALSE(handOver.RunQueued());
}

TEST_F(UdpEndpoint, ClosingWhileAThreadedHandlerWaitsForTheWindowsThread) {
    std::atomic<int> stage{0};
    bool ranOnWindow = false;
    {
        Endpoint inner{handOver};
        inner.server.ThreadedEvent = true;
        inner.server.OnUDPRead = [&](TIdUDPListenerThread&, const TIdBytes&, TIdSocketHandle&) {
            stage = 1;
            handOver.Synchronize([&] { ranOnWindow = handOver.IsMainThread(); });
            stage = 2;
        };
        inner.server.SendDatagram("255.255.255.255", kSearchPort, {});
        ASSERT_TRUE(Send({1}));
        ASSERT_TRUE(handOver.WaitForQueued(3000));
        inner.server.SetActive(false);
        EXPECT_EQ(stage.load(), 2);
        EXPECT_FALSE(inner.server.Active());
        EXPECT_EQ(inner.server.ListenerCount(), 0);
    }
    EXPECT_TRUE(ranOnWindow);
}

// A handler that closes its own endpoint, or destroys it, on the window's
// thread or (ThreadedEvent) on its listener's: nothing waits for that
// handler's listener, which ends by itself once the handler has returned.
TEST_F(UdpEndpoint, HandlerThatClosesOrDestroysItsEndpointReturns) {
    ASSERT_TRUE(device.Bind("127.0.0.1", 0));
    for (const bool threaded : {false, true}) {
        SCOPED_TRACE(threaded ? "on the listener's thread" : "on the window's thread");
        // Closed, and on the window's thread opened again at once, while the
        // closed listener still waits for this handler: the listener that
        // is let go must leave the new socket alone.
        std::atomic<int> closed{0};
        std::atomic<int> received{0};
        e.server.ThreadedEvent = threaded;
        e.server.OnUDPRead = [&](TIdUDPListenerThread&, const TIdBytes& data, TIdSocketHandle&) {
            if (data != TIdBytes{1}) {
                ++received;
                return;
            }
            e.server.SetActive(false);
            EXPECT_FALSE(e.server.Active());
            EXPECT_EQ(e.server.ListenerCount(), 0);
            if (!threaded) e.server.SendDatagram("255.255.255.255", kSearchPort, {});
            ++closed;
        };
        e.server.SendDatagram("255.255.255.255", kSearchPort, {});
        ASSERT_TRUE(Send({1}));
        ASSERT_TRUE(PumpUntil(LoopOf(handOver), [&] { return closed == 1; }));
        if (threaded) e.server.SendDatagram("255.255.255.255", kSearchPort, {});
        ASSERT_TRUE(Send({2}));
        ASSERT_TRUE(PumpUntil(LoopOf(handOver), [&] { return received == 1; }));
        e.server.SetActive(false);

        // Destroyed with its owner: nothing hangs, and the listener that is
        // let go touches nothing that is gone (the sanitizer builds watch).
        auto owner = std::make_unique<Endpoint>(handOver);
        std::atomic<bool> destroyed{false};
        owner->server.ThreadedEvent = threaded;
        owner->server.OnUDPRead = [&](TIdUDPListenerThread&, const TIdBytes&, TIdSocketHandle&) {
            owner.reset();
            destroyed = true;
        };
        owner->server.SendDatagram("255.255.255.255", kSearchPort, {});
        ASSERT_TRUE(Send({3}));
        ASSERT_TRUE(PumpUntil(LoopOf(handOver), [&] { return destroyed.load(); }));
        EXPECT_TRUE(testing::PortFree(kLocalPort));
    }
}

TEST_F(UdpEndpoint, CloseThenSendOpensAgain) {
    Open();
    const int count = e.server.ListenerCount();
    e.server.SetActive(false);
    EXPECT_FALSE(e.server.Active());
    EXPECT_EQ(e.server.ListenerCount(), 0);
    for (int i = 0; i < e.server.Bindings().Count(); ++i) EXPECT_FALSE(e.server.Bindings()[i].Opened());
    EXPECT_TRUE(testing::PortFree(kLocalPort));
    e.server.SetActive(false);  // closing a closed endpoint does nothing

    e.server.SendDatagram("255.255.255.255", kSearchPort, {});
    EXPECT_TRUE(e.server.Active());
    EXPECT_EQ(e.server.ListenerCount(), count);
    ASSERT_TRUE(Send({3}));
    ASSERT_TRUE(PumpUntil(LoopOf(handOver), [&] { return seen.data.size() == 1; }));

    e.server.SetActive(false);
    e.server.SetActive(true);
    EXPECT_TRUE(e.server.Active());
    EXPECT_EQ(e.server.ListenerCount(), count);
}

TEST_F(UdpEndpoint, ListenerWhoseWaitFailsEndsAndSendsMeetANonSocket) {
    e.server.SendDatagram("255.255.255.255", kSearchPort, {});
    const int count = e.server.ListenerCount();
    // Pull the socket away under the first listener: its next wait fails.
    e.server.Bindings()[0].CloseSocket();
    EXPECT_FALSE(e.server.Active());
    try {
        e.server.SendDatagram("255.255.255.255", kSearchPort, kScanRequest);
        FAIL() << "sent through a closed socket";
    } catch (const EIdNotASocket& error) {
        EXPECT_EQ(error.Message(), "Socket Error # 10038\r\nSocket operation on non-socket.");
    }
    // The ended listener stays in the list until the endpoint closes.
    EXPECT_EQ(e.server.ListenerCount(), count);
    e.server.SetActive(false);
    EXPECT_EQ(e.server.ListenerCount(), 0);
    e.server.SendDatagram("255.255.255.255", kSearchPort, {});
    EXPECT_TRUE(e.server.Active());
}

TEST_F(UdpEndpoint, NamedBindingUsesItsOwnAddressAndPort) {
    ASSERT_TRUE(device.Bind("127.0.0.1", 0));
    TIdUDPServer server(handOver, "custom");
    server.SetBroadcastEnabled(true);
    server.SetDefaultPort(kLocalPort);
    TIdSocketHandle& binding = server.Bindings().Add();
    EXPECT_EQ(binding.Port, kLocalPort);
    binding.IP = "127.0.0.1";
    binding.Port = 0;  // any free port
    server.SendDatagram("127.0.0.1", device.LocalPort(), {4, 2});
    EXPECT_EQ(server.Bindings().Count(), 1);
    EXPECT_EQ(server.ListenerNames(), std::vector<std::string>{"custom Listener #1"});
    EXPECT_EQ(binding.IP, "127.0.0.1");
    EXPECT_NE(binding.Port, 0);
    const auto got = device.Receive(2000);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->fromPort, binding.Port);
}

TEST_F(UdpEndpoint, OpenAndCloseRepeatedlyWhileDatagramsArrive) {
    const bool v6 = IPv6Here();
    std::atomic<bool> stop{false};
    std::thread sender([&] {
        UdpPeer peer;
        UdpPeer peer6(AF_INET6);
        for (int i = 0; i < 200000 && !stop; ++i) {
            peer.SendToLoopback({static_cast<std::uint8_t>(i)}, kLocalPort);
            if (v6) peer6.SendToLoopback({static_cast<std::uint8_t>(i), 6}, kLocalPort);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    // Stops the sender however the test ends.
    struct Joiner {
        std::atomic<bool>& stop;
        std::thread& thread;
        ~Joiner() {
            stop = true;
            thread.join();
        }
    } joiner{stop, sender};
    int handled = 0;
    std::set<TIdSocketHandle*> receivers;
    e.server.OnUDPRead = [&](TIdUDPListenerThread&, const TIdBytes&, TIdSocketHandle& binding) {
        ++handled;
        receivers.insert(&binding);
    };
    for (int round = 0; round < 20; ++round) {
        e.server.SendDatagram("255.255.255.255", kSearchPort, {});
        ASSERT_TRUE(e.server.Active());
        test::PumpFor(test::LoopOf(handOver), 5 + round % 3);
        if (round % 2 == 1) {
            // Close while a hand-over may be queued and not yet run.
            handOver.WaitForQueued(20);
        }
        e.server.SetActive(false);
        ASSERT_FALSE(e.server.Active());
        ASSERT_EQ(e.server.ListenerCount(), 0);
    }
    EXPECT_GT(handled, 0);
    EXPECT_EQ(static_cast<int>(receivers.size()), e.server.Bindings().Count());
    EXPECT_FALSE(handOver.RunQueued());
}

}  // namespace
}  // namespace melvorin::net
