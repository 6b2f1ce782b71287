#pragma once

#include <atomic>
#include <future>
#include <mutex>
#include <string>
#include <thread>

#include "net/socket_handle.h"
#include "protocol/bytes.h"

namespace melvorin::net {

class TIdUDPServer;

// The receive thread of one binding: waits for its socket to become
// readable, receives one datagram at a time and hands it over to the
// endpoint's OnUDPRead (on the window's thread unless ThreadedEvent).
class TIdUDPListenerThread {
public:
    static constexpr int kWaitPeriodMs = 1000;

    // Created suspended: no thread runs until Start().
    TIdUDPListenerThread(TIdUDPServer& server, TIdSocketHandle& binding, std::string name);
    ~TIdUDPListenerThread();
    TIdUDPListenerThread(const TIdUDPListenerThread&) = delete;
    TIdUDPListenerThread& operator=(const TIdUDPListenerThread&) = delete;

    // The full name ("idpsrvr1 Listener #1").
    const std::string& Name() const { return name_; }
    // The name the thread carries for the system (at most 15 characters).
    static std::string SystemThreadName(const std::string& name);

    TIdSocketHandle& Binding() { return binding_; }
    TIdUDPServer& Server() { return server_; }

    // Asks for the highest priority when the thread starts (left as it is
    // where the process may not raise it).
    void SetPriorityHighest() { priorityHighest_ = true; }
    // Starts the thread; returns once it has named itself.
    void Start();
    // Sets the stopped and terminate flags and wakes a pending wait.
    void Stop();
    bool Stopped() const;
    // True once the thread has left its cycles and closed its socket.
    bool Finished() const { return finished_.load(); }
    // Waits until the thread has ended; on the window's thread the queued
    // hand-overs keep running meanwhile.
    void WaitFor();

    // The receive buffer (valid on the listener's thread, and in a handler
    // while it is handed over).
    TIdBytes Buffer;
    // Message and kind of the last failed cycle, and of the error that ended
    // the thread, if one did. Written by the listener's thread; read them in
    // a handler or after WaitFor().
    std::string ErrorMessage;
    std::string ErrorClass;
    std::string EndedOnError;

private:
    void Run(std::promise<void>& named);
    void Cycle();
    void HandOverException();

    TIdUDPServer& server_;
    TIdSocketHandle& binding_;
    std::string name_;
    bool priorityHighest_ = false;
    mutable std::mutex stopLock_;
    bool stopped_ = false;
    bool terminated_ = false;
    std::atomic<bool> finished_{false};
    std::thread thread_;
};

}  // namespace melvorin::net
