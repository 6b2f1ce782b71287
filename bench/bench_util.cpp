#include "bench_util.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace melvorin::bench {

std::int64_t Quantile(std::vector<std::int64_t> values, double q) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const double rank = std::ceil(q * static_cast<double>(values.size()));
    std::size_t index = rank < 1 ? 0 : static_cast<std::size_t>(rank) - 1;
    if (index >= values.size()) index = values.size() - 1;
    return values[index];
}

UdpSocket::UdpSocket(const char* address, std::uint16_t port) {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    if (::inet_pton(AF_INET, address, &local.sin_addr) != 1) {
        ::close(fd_);
        throw std::runtime_error(std::string("bad address ") + address);
    }
    if (::bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        const std::string problem = std::strerror(errno);
        ::close(fd_);
        throw std::runtime_error("bind " + std::string(address) + ":" + std::to_string(port) + ": " + problem);
    }
}

UdpSocket::~UdpSocket() {
    if (fd_ >= 0) ::close(fd_);
}

bool UdpSocket::SendToLoopback(std::uint16_t port, const void* data, std::size_t size) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const ssize_t sent = ::sendto(fd_, data, size, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    return sent == static_cast<ssize_t>(size);
}

long UdpSocket::Receive(void* buffer, std::size_t size, int timeoutMs) {
    pollfd p{fd_, POLLIN, 0};
    const int ready = ::poll(&p, 1, timeoutMs);
    if (ready <= 0) return -1;
    return static_cast<long>(::recv(fd_, buffer, size, 0));
}

void UdpSocket::SetReceiveBuffer(int bytes) {
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
}

int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void SetThreadNice(int nice) {
    [[maybe_unused]] const int result = ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), nice);
}

std::string Format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

void PrintTable(const std::vector<Row>& rows) {
    const std::vector<std::string> heads = {"Measure", "Figure", "Baseline (same run)", "", "Ratio", "Goal", "Met"};
    std::vector<std::vector<std::string>> cells;
    cells.push_back(heads);
    for (const Row& r : rows) {
        cells.push_back({r.measure, r.figure, r.baselineName, r.baseline, r.ratio, r.goal, r.met});
    }
    // Display width: count code points, not bytes (the texts hold "×", "≤").
    auto width = [](const std::string& s) {
        std::size_t w = 0;
        for (const unsigned char c : s) {
            if ((c & 0xC0) != 0x80) ++w;
        }
        return w;
    };
    std::vector<std::size_t> widths(heads.size(), 0);
    for (const auto& line : cells) {
        for (std::size_t i = 0; i < line.size(); ++i) widths[i] = std::max(widths[i], width(line[i]));
    }
    auto print = [&](const std::vector<std::string>& line) {
        std::string out = "|";
        for (std::size_t i = 0; i < line.size(); ++i) {
            out += " " + line[i] + std::string(widths[i] - width(line[i]), ' ') + " |";
        }
        std::puts(out.c_str());
    };
    print(cells[0]);
    std::string rule = "|";
    for (const std::size_t w : widths) rule += std::string(w + 2, '-') + "|";
    std::puts(rule.c_str());
    for (std::size_t i = 1; i < cells.size(); ++i) print(cells[i]);
    std::fflush(stdout);
}

}  // namespace melvorin::bench
