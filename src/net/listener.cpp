#include "net/listener.h"

#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <exception>
#include <future>

#include "net/errors.h"
#include "net/handover.h"
#include "net/handover_internal.h"
#include "net/interfaces.h"
#include "net/udp_server.h"

namespace melvorin::net {

namespace {

// "Highest" is two steps above normal; on Linux that is a nice value below
// the default, which needs CAP_SYS_NICE (or RLIMIT_NICE).
constexpr int kHighestNice = -5;

// Linux keeps at most 15 characters of a thread's name.
constexpr std::size_t kThreadNameMax = 15;

// The name of the interface a datagram arrived on. Each listener keeps the
// last one it looked up: datagrams come in runs over one interface, and the
// lookup is a system call.
const std::string& ArrivalName(unsigned index) {
    thread_local unsigned cachedIndex = 0;
    thread_local std::string cachedName;
    if (index != cachedIndex) {
        cachedName = InterfaceName(index);
        cachedIndex = index;
    }
    return cachedName;
}

}  // namespace

TIdUDPListenerThread::TIdUDPListenerThread(TIdUDPServer& server, TIdSocketHandle& binding, std::string name)
    : server_(server), binding_(binding), name_(std::move(name)) {}

TIdUDPListenerThread::~TIdUDPListenerThread() {
    Stop();
    WaitFor();
}

std::string TIdUDPListenerThread::SystemThreadName(const std::string& name) {
    if (name.size() <= kThreadNameMax) return name;
    // "<endpoint> Listener #<n>" becomes "<endpoint> #<n>", the endpoint's
    // name cut so that the number always stays.
    static const std::string kMarker = " Listener #";
    const std::size_t marker = name.rfind(kMarker);
    if (marker == std::string::npos) return name.substr(0, kThreadNameMax);
    const std::string number = " #" + name.substr(marker + kMarker.size());
    if (number.size() >= kThreadNameMax) return number.substr(number.size() - kThreadNameMax);
    return name.substr(0, std::min(marker, kThreadNameMax - number.size())) + number;
}

void TIdUDPListenerThread::Start() {
    if (thread_.joinable()) return;
    // Returns once the thread has its name and priority.
    std::promise<void> named;
    std::future<void> ready = named.get_future();
    thread_ = std::thread([this, &named] { Run(named); });
    ready.wait();
}

void TIdUDPListenerThread::Stop() {
    {
        std::lock_guard<std::mutex> lock(stopLock_);
        stopped_ = true;
        terminated_ = true;
    }
    binding_.Wake();
}

bool TIdUDPListenerThread::Stopped() const {
    std::lock_guard<std::mutex> lock(stopLock_);
    return stopped_ || terminated_;
}

void TIdUDPListenerThread::WaitFor() {
    if (!thread_.joinable()) return;
    detail::WaitRunningQueued([this] { return finished_.load(); });
    thread_.join();
}

void TIdUDPListenerThread::Run(std::promise<void>& named) {
    ::pthread_setname_np(::pthread_self(), SystemThreadName(name_).c_str());
    if (priorityHighest_) {
        // Where the process may not raise it, the priority stays as it is.
        [[maybe_unused]] const int result = ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kHighestNice);
    }
    named.set_value();
    try {
        while (!Stopped()) Cycle();
    } catch (const Exception& e) {
        EndedOnError = e.Message();
    } catch (const std::exception& e) {
        EndedOnError = e.what();
    }
    binding_.CloseSocket();
    finished_.store(true);
    detail::NotifyWaiters();
}

void TIdUDPListenerThread::Cycle() {
    // An error of the wait itself leaves this function and ends the thread.
    if (!binding_.Readable(kWaitPeriodMs)) return;
    try {
        if (Stopped()) return;
        Buffer.resize(static_cast<std::size_t>(std::max<std::int32_t>(0, server_.BufferSize)));
        std::string peerIP;
        std::uint16_t peerPort = 0;
        unsigned arrival = 0;
        if (!binding_.ReceiveFrom(Buffer, peerIP, peerPort, &arrival)) return;
        // Recorded before the hand-over, so that the handler sees them.
        binding_.PeerIP = std::move(peerIP);
        binding_.PeerPort = peerPort;
        binding_.PeerInterfaceIndex = arrival;
        binding_.PeerInterface = ArrivalName(arrival);
        if (server_.OnLog) {
            TIdLogEntry entry;
            entry.Kind = TIdLogKind::Received;
            entry.Interface = binding_.PeerInterface;
            entry.PeerIP = binding_.PeerIP;
            entry.PeerPort = peerPort;
            entry.Data = Buffer;
            server_.OnLog(entry);
        }
        const auto read = [this] {
            if (server_.OnUDPRead) server_.OnUDPRead(*this, Buffer, binding_);
        };
        if (server_.ThreadedEvent) {
            read();
        } else {
            Synchronize(read);
        }
    } catch (const Exception& e) {
        ErrorMessage = e.Message();
        ErrorClass = e.ClassName();
        HandOverException();
    } catch (const std::exception& e) {
        ErrorMessage = e.what();
        ErrorClass = "Exception";
        HandOverException();
    } catch (...) {
        ErrorMessage = "Unknown error";
        ErrorClass = "Exception";
        HandOverException();
    }
}

void TIdUDPListenerThread::HandOverException() {
    const auto report = [this] {
        if (server_.OnUDPException) server_.OnUDPException(*this, binding_, ErrorMessage, ErrorClass);
    };
    try {
        if (server_.ThreadedEvent) {
            report();
        } else {
            Synchronize(report);
        }
    } catch (...) {
        // An error raised by the error handler itself is dropped: it must
        // not end the listener.
    }
}

}  // namespace melvorin::net
