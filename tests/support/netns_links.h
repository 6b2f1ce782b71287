#pragma once

// Links of a test's own: a fresh network namespace for the calling thread,
// and veth links made in it with iproute2.

#include <string>

namespace melvorin::testing {

// While it lives, the calling thread (and every process and socket it makes)
// is in another network namespace: a fresh one with only loopback up, or the
// one `ip netns` knows by `name`. Destroying it takes the thread back where
// it was; sockets made meanwhile stay where they were made. Make and destroy
// it on the same thread.
class ScopedNetns {
public:
    ScopedNetns();
    explicit ScopedNetns(const std::string& name);
    ~ScopedNetns();
    ScopedNetns(const ScopedNetns&) = delete;
    ScopedNetns& operator=(const ScopedNetns&) = delete;
    // Empty when the thread is in its fresh namespace, else why not.
    const std::string& Problem() const { return problem_; }

private:
    int previous_ = -1;
    std::string problem_;
};

// Runs `ip ARGS` quietly; false when it failed. Refuses in the network
// namespace of PID 1.
bool Ip(const std::string& args);

// A broadcast link: veth NAME, up with ADDRESS/24, its peer NAME "p" up
// without an address.
bool AddBroadcastLink(const std::string& name, const std::string& address);

}  // namespace melvorin::testing
