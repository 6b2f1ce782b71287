#pragma once

#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "net/socket_handle.h"
#include "protocol/bytes.h"

namespace melvorin::net {

class THandOver;
class TIdUDPServer;

// The receive thread of one binding: waits for its socket to become
// readable, receives one datagram at a time and hands it over to the
// endpoint's OnUDPRead (on the window's thread unless ThreadedEvent).
// Created, stopped and joined by the endpoint (TIdUDPServer::CloseEndpoint).
class TIdUDPListenerThread {
public:
    static constexpr int kWaitPeriodMs = 1000;

    // Created suspended: no thread runs until Start().
    TIdUDPListenerThread(TIdUDPServer& server, THandOver& handOver, std::shared_ptr<TIdSocketHandle> binding,
                         std::string name);
    // Joins the thread; the endpoint has stopped it and seen it finish.
    ~TIdUDPListenerThread();
    TIdUDPListenerThread(const TIdUDPListenerThread&) = delete;
    TIdUDPListenerThread& operator=(const TIdUDPListenerThread&) = delete;

    // The full name ("idpsrvr1 Listener #1").
    const std::string& Name() const { return name_; }
    // The name the thread carries for the system: whole where the system
    // keeps it whole, else shortened to its limit (15 characters on Linux).
    static std::string SystemThreadName(const std::string& name);
    // `name` within `limit` bytes (0: any length): "<endpoint> Listener #<n>"
    // becomes "<endpoint> #<n>", the number kept.
    static std::string ShortThreadName(const std::string& name, std::size_t limit);

    TIdSocketHandle& Binding() { return *binding_; }

    // Asks for the highest priority when the thread starts (left as it is
    // where the process may not raise it).
    void SetPriorityHighest() { priorityHighest_ = true; }
    // Starts the thread; returns once it has named itself.
    void Start();
    // Sets the stop flag; the listener leaves its cycles at the next look.
    // Closing the binding's socket wakes a pending wait.
    void Stop();
    bool Stopped() const;
    // True once the thread has left its cycles.
    bool Finished() const;
    // When this listener's handler is running on the calling thread (the
    // caller is inside it), the thread cannot end before the caller returns:
    // the listener is let go, frees itself when its thread ends, and true is
    // returned; the caller must forget it. Otherwise returns false.
    bool LetGoIfHandlingHere();

    // The receive buffer (valid on the listener's thread, and in a handler
    // while it is handed over).
    TIdBytes Buffer;
    // Message and kind of the last failed cycle, and of the error that ended
    // the thread, if one did. Written by the listener's thread; read them in
    // a handler or once the endpoint is closed.
    std::string ErrorMessage;
    std::string ErrorClass;
    std::string EndedOnError;

private:
    void Run(std::promise<void>& named);
    void Cycle();
    void HandOverException();
    // Runs `call` where the events run: here, or on the window's thread.
    void HandOver(const std::function<void()>& call);
    // Runs a handler, marking it as running on the calling thread.
    void InHandler(const std::function<void()>& handler);
    bool LetGo() const;

    TIdUDPServer& server_;
    THandOver& handOver_;
    std::shared_ptr<TIdSocketHandle> binding_;
    std::string name_;
    bool priorityHighest_ = false;
    mutable std::mutex lock_;
    bool stopped_ = false;
    bool finished_ = false;
    bool letGo_ = false;
    std::thread::id handlerThread_;  // where a handler runs now, if one does
    std::thread thread_;
};

}  // namespace melvorin::net
