#pragma once

// Links of a test's own: a fresh network namespace for the calling thread,
// and veth links made in it with iproute2.

#include <string>

namespace melvorin::testing {

// While it lives, the calling thread (and every process and socket it makes)
// is in a fresh network namespace with only loopback up; destroying it takes
// the thread back where it was. Make and destroy it on the same thread.
class FreshNetns {
public:
    FreshNetns();
    ~FreshNetns();
    FreshNetns(const FreshNetns&) = delete;
    FreshNetns& operator=(const FreshNetns&) = delete;
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
