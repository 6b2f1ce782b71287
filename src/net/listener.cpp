#include "net/listener.h"

#include <algorithm>
#include <exception>

#include "net/errors.h"
#include "net/handover.h"
#include "net/interfaces.h"
#include "net/system.h"
#include "net/udp_server.h"

namespace melvorin::net {

namespace {

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

TIdUDPListenerThread::TIdUDPListenerThread(TIdUDPServer& server, THandOver& handOver,
                                           std::shared_ptr<TIdSocketHandle> binding, std::string name)
    : server_(server), handOver_(handOver), binding_(std::move(binding)), name_(std::move(name)) {}

TIdUDPListenerThread::~TIdUDPListenerThread() {
    if (thread_.joinable()) thread_.join();
}

std::string TIdUDPListenerThread::SystemThreadName(const std::string& name) {
    return ShortThreadName(name, sys::ThreadNameLimit());
}

std::string TIdUDPListenerThread::ShortThreadName(const std::string& name, std::size_t limit) {
    if (limit == 0 || name.size() <= limit) return name;
    // "<endpoint> Listener #<n>" becomes "<endpoint> #<n>", the endpoint's
    // name cut so that the number always stays.
    static const std::string kMarker = " Listener #";
    const std::size_t marker = name.rfind(kMarker);
    if (marker == std::string::npos) return name.substr(0, limit);
    const std::string number = " #" + name.substr(marker + kMarker.size());
    if (number.size() >= limit) return number.substr(number.size() - limit);
    return name.substr(0, std::min(marker, limit - number.size())) + number;
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
    std::lock_guard<std::mutex> lock(lock_);
    stopped_ = true;
}

bool TIdUDPListenerThread::Stopped() const {
    std::lock_guard<std::mutex> lock(lock_);
    return stopped_;
}

bool TIdUDPListenerThread::Finished() const {
    std::lock_guard<std::mutex> lock(lock_);
    return finished_;
}

bool TIdUDPListenerThread::LetGo() const {
    std::lock_guard<std::mutex> lock(lock_);
    return letGo_;
}

bool TIdUDPListenerThread::LetGoIfHandlingHere() {
    std::lock_guard<std::mutex> lock(lock_);
    if (handlerThread_ != std::this_thread::get_id()) return false;
    letGo_ = true;
    thread_.detach();
    return true;
}

void TIdUDPListenerThread::Run(std::promise<void>& named) {
    sys::NameThisThread(SystemThreadName(name_));
    if (priorityHighest_) sys::RaiseThisThreadsPriority();
    named.set_value();
    try {
        while (!Stopped()) Cycle();
    } catch (...) {
        // A wait that fails because the closing endpoint took the socket away
        // is no error.
        if (!Stopped()) EndedOnError = CurrentError().Message;
    }
    // Stopped: the closing endpoint closes the socket. Ended on its own (its
    // wait failed): the listener closes it.
    if (!Stopped()) binding_->CloseSocket();
    bool letGo = false;
    {
        std::lock_guard<std::mutex> lock(lock_);
        finished_ = true;
        letGo = letGo_;
    }
    if (letGo) {
        // Nobody waits for this thread, and the endpoint may be gone.
        delete this;
        return;
    }
    // The endpoint waits for this (it joins the thread only after this).
    handOver_.Notify();
}

void TIdUDPListenerThread::HandOver(const std::function<void()>& call) {
    if (server_.ThreadedEvent) {
        call();
    } else {
        handOver_.Synchronize(call);
    }
}

void TIdUDPListenerThread::InHandler(const std::function<void()>& handler) {
    struct Mark {
        TIdUDPListenerThread& self;
        explicit Mark(TIdUDPListenerThread& s) : self(s) { Set(std::this_thread::get_id()); }
        ~Mark() { Set({}); }
        void Set(std::thread::id id) {
            std::lock_guard<std::mutex> lock(self.lock_);
            self.handlerThread_ = id;
        }
    } mark(*this);
    handler();
}

void TIdUDPListenerThread::Cycle() {
    // An error of the wait itself leaves this function and ends the thread.
    if (!binding_->Readable(kWaitPeriodMs)) return;
    try {
        if (Stopped()) return;
        Buffer.resize(static_cast<std::size_t>(std::max<std::int32_t>(0, server_.BufferSize)));
        std::string peerIP;
        std::uint16_t peerPort = 0;
        unsigned arrival = 0;
        if (!binding_->ReceiveFrom(Buffer, peerIP, peerPort, &arrival)) return;
        // Recorded before the hand-over, so that the handler sees them.
        binding_->PeerIP = std::move(peerIP);
        binding_->PeerPort = peerPort;
        binding_->PeerInterfaceIndex = arrival;
        binding_->PeerInterface = ArrivalName(arrival);
        if (server_.OnLog) {
            TIdLogEntry entry;
            entry.Kind = TIdLogKind::Received;
            entry.Interface = binding_->PeerInterface;
            entry.PeerIP = binding_->PeerIP;
            entry.PeerPort = peerPort;
            entry.Data = Buffer;
            server_.OnLog(entry);
        }
        HandOver([this] {
            // A copy: the handler may destroy the endpoint, and its events.
            const TUDPReadEvent handler = server_.OnUDPRead;
            if (handler) InHandler([&] { handler(*this, Buffer, *binding_); });
        });
    } catch (...) {
        const TErrorInfo error = CurrentError();
        ErrorMessage = error.Message;
        ErrorClass = error.Kind;
        HandOverException();
    }
}

void TIdUDPListenerThread::HandOverException() {
    // Let go from inside its handler: the endpoint may be gone already.
    if (LetGo()) return;
    bool reported = false;
    std::string dropped;
    try {
        HandOver([this, &reported] {
            const TIdUDPExceptionEvent handler = server_.OnUDPException;
            if (!handler) return;
            reported = true;
            InHandler([&] { handler(*this, *binding_, ErrorMessage, ErrorClass); });
        });
        if (!reported) dropped = TErrorInfo{ErrorClass, ErrorMessage}.Text();
    } catch (...) {
        dropped = CurrentError().Text();
    }
    // Neither an unhandled cycle error nor one raised by the error handler
    // ends the listener; both go to the endpoint's log.
    if (!dropped.empty() && !LetGo()) server_.LogDropped(dropped);
}

}  // namespace melvorin::net
