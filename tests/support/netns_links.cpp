#include "netns_links.h"

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace melvorin::testing {

namespace {
std::string NetnsOf(const char* path) {
    char target[128] = {};
    const ssize_t n = ::readlink(path, target, sizeof target - 1);
    return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string();
}
}  // namespace

ScopedNetns::ScopedNetns() {
    previous_ = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    if (previous_ < 0) {
        problem_ = std::string("/proc/thread-self/ns/net: ") + std::strerror(errno);
    } else if (::unshare(CLONE_NEWNET) != 0) {
        problem_ = std::string("unshare(CLONE_NEWNET): ") + std::strerror(errno);
    } else if (!Ip("link set lo up")) {
        problem_ = "ip link set lo up failed";
    }
}

ScopedNetns::ScopedNetns(const std::string& name) {
    previous_ = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    const std::string path = "/run/netns/" + name;
    const int target = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (previous_ < 0 || target < 0) {
        problem_ = path + ": " + std::strerror(errno);
    } else if (::setns(target, CLONE_NEWNET) != 0) {
        problem_ = "setns " + path + ": " + std::strerror(errno);
    }
    if (target >= 0) ::close(target);
}

ScopedNetns::~ScopedNetns() {
    if (previous_ < 0) return;
    [[maybe_unused]] const int back = ::setns(previous_, CLONE_NEWNET);
    ::close(previous_);
}

bool Ip(const std::string& args) {
    // The links are made by a child of this thread, in this thread's namespace.
    const std::string mine = NetnsOf("/proc/thread-self/ns/net");
    if (mine.empty() || mine == NetnsOf("/proc/1/ns/net")) return false;
    const std::string command = "ip " + args + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

bool AddBroadcastLink(const std::string& name, const std::string& address) {
    return Ip("link add " + name + " type veth peer name " + name + "p") &&
           Ip("addr add " + address + "/24 dev " + name) && Ip("link set " + name + " up") &&
           Ip("link set " + name + "p up");
}

}  // namespace melvorin::testing
