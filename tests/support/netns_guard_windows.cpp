#include <string>

#include "net/interfaces.h"
#include "netns_guard.h"

namespace melvorin::testing {

// Under Wine a program's sockets live in the network namespace of its
// wineserver, and the interfaces it lists are that namespace's: the test
// host's links ("mlv...") are the only ones that may broadcast there.
std::string PrivateNetnsProblem() {
    for (const net::TIdInterface& iface : net::BroadcastInterfaces()) {
        if (iface.Name.rfind("mlv", 0) != 0) return "interface " + iface.Name + " is present";
    }
    return {};
}

}  // namespace melvorin::testing
