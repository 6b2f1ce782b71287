#pragma once

// Small pieces shared by the benchmarks: a monotonic clock, order
// statistics, a plain loopback UDP socket and the result table.

#include <netinet/in.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace melvorin::bench {

// Nanoseconds on the monotonic clock (the same clock in every process).
inline std::int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

inline double NsToUs(std::int64_t ns) { return static_cast<double>(ns) / 1e3; }
inline double NsToMs(std::int64_t ns) { return static_cast<double>(ns) / 1e6; }

// The q-quantile (0..1) of `values`, nearest rank. 0 for no values.
std::int64_t Quantile(std::vector<std::int64_t> values, double q);

// A blocking IPv4 datagram socket, closed on destruction.
class UdpSocket {
public:
    // Bound to address:port (port 0: any free port). Throws std::runtime_error.
    UdpSocket(const char* address, std::uint16_t port);
    ~UdpSocket();
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    int Fd() const { return fd_; }
    // Sends to 127.0.0.1:port. Returns false when the kernel refused it.
    bool SendToLoopback(std::uint16_t port, const void* data, std::size_t size);
    // Waits up to timeoutMs for a datagram; returns its length or -1.
    long Receive(void* buffer, std::size_t size, int timeoutMs);
    void SetReceiveBuffer(int bytes);

private:
    int fd_ = -1;
};

// How often `what` occurs in `text` (overlapping occurrences counted).
int Count(const std::string& text, const std::string& what);

// The whole file's contents; empty when it cannot be read.
std::string ReadFile(const std::string& path);

// Lowers the calling thread's scheduling priority (nice value).
void SetThreadNice(int nice);

// One line of the table.
struct Row {
    std::string measure;
    std::string figure;
    std::string baselineName;
    std::string baseline;
    std::string ratio;
    std::string goal;
    // "yes", "NO" or "-" (no goal on this line).
    std::string met;
};

std::string Format(const char* format, double value);

void PrintTable(const std::vector<Row>& rows);

}  // namespace melvorin::bench
