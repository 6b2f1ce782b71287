#pragma once

#include <string>

namespace melvorin::testing {

// Empty when this process runs in a private network namespace (not the one
// of PID 1, and no interface but loopback and the test hosts' "mlv" veths);
// else the reason why not.
std::string PrivateNetnsProblem();

}  // namespace melvorin::testing
