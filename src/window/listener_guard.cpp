#include "window/listener_guard.h"

#include "net/local_listeners.h"
#include "protocol/errors.h"
#include "protocol/scan.h"
#include "window/texts.h"

namespace melvorin::window {

void TListenerGuard::SendDatagram(const std::string& host, std::uint16_t port, const TIdBytes& data) {
    if (host == kBroadcastHost) {
        const std::vector<std::string> owners = net::OtherUsersListening(port);
        if (!owners.empty()) {
            std::string names;
            for (const std::string& owner : owners) names += (names.empty() ? "" : ", ") + owner;
            throw net::EOtherListeners(Format(
                MLV_TR("JoinRequest",
                       "Nothing was sent: a program of %1 is bound to UDP port %2 on this computer and would receive "
                       "the join request with the key. Stop it, or send to each device alone with "
                       "\u201cmelvorin-cli join --unicast\u201d"),
                {names, std::to_string(port)}));
        }
    }
    sender_.SendDatagram(host, port, data);
}

}  // namespace melvorin::window
