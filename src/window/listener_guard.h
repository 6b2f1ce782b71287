#pragma once

// The join request carries the key in clear, and a broadcast is also handed
// to this computer's own sockets on the search port: it is not broadcast
// while another user's program holds one. Nothing is sent then; the error
// names the port and the owners, and the window's error box shows it.

#include "protocol/sender.h"

namespace melvorin::window {

class TListenerGuard : public IDatagramSender {
public:
    explicit TListenerGuard(IDatagramSender& sender) : sender_(sender) {}
    // Raises an error (the message in the user's language) before a
    // broadcast to `port` that another user's socket would receive.
    void SendDatagram(const std::string& host, std::uint16_t port, const TIdBytes& data) override;

private:
    IDatagramSender& sender_;
};

}  // namespace melvorin::window
