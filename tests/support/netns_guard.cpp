#include "netns_guard.h"

#include <unistd.h>

#include <fstream>
#include <sstream>

namespace melvorin::testing {

namespace {
std::string LinkTarget(const char* path) {
    char buf[256];
    const ssize_t n = readlink(path, buf, sizeof buf - 1);
    if (n < 0) return {};
    return std::string(buf, static_cast<std::size_t>(n));
}
}  // namespace

std::string PrivateNetnsProblem() {
    const std::string mine = LinkTarget("/proc/self/ns/net");
    const std::string init = LinkTarget("/proc/1/ns/net");
    if (mine.empty()) return "cannot read /proc/self/ns/net";
    if (mine == init) return "this process shares the network namespace of PID 1";
    std::ifstream dev("/proc/self/net/dev");
    std::string line;
    int lineNo = 0;
    while (std::getline(dev, line)) {
        if (++lineNo <= 2) continue;  // headers
        std::istringstream in(line);
        std::string name;
        std::getline(in >> std::ws, name, ':');
        if (name != "lo" && name.rfind("mlv", 0) != 0) return "interface " + name + " is present";
    }
    return {};
}

}  // namespace melvorin::testing
