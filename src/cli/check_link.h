#pragma once

// The conformance check's line to one unit: its own endpoint on local port
// 12345 (as the window's), requests broadcast out of the unit's link to the
// search port as the window sends them, and every datagram that unit sends
// back kept, in order, bytes as they came.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "cli/report.h"
#include "net/handover.h"
#include "net/log.h"
#include "net/udp_server.h"
#include "protocol/bytes.h"

namespace melvorin::cli {

class UnitLink {
public:
    UnitLink(std::uint16_t port, const DeviceReport& unit);
    ~UnitLink();
    UnitLink(const UnitLink&) = delete;
    UnitLink& operator=(const UnitLink&) = delete;

    // Sends one datagram as it is. Raises the endpoint's errors.
    void Send(const TIdBytes& datagram);
    // The unit's datagrams since the last call: waits until `count` have
    // come or `seconds` have passed.
    std::vector<TIdBytes> Collect(std::size_t count, double seconds);

    void SetWireLog(net::TIdLogEvent log) { endpoint_->OnLog = std::move(log); }

private:
    std::uint16_t port_;
    std::string address_;
    unsigned interfaceIndex_;  // the unit's link; 0 when unknown
    unsigned sendInterface_;   // 0: out of every broadcast interface
    std::mutex lock_;
    std::condition_variable came_;
    std::deque<TIdBytes> received_;
    net::THandOver handOver_;
    std::unique_ptr<net::TIdUDPServer> endpoint_;
};

}  // namespace melvorin::cli
