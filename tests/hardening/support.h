#pragma once

// Shared by the flood and fault tests: datagram builders, a plain UDP socket
// standing in for a device, and the process's resident memory.

#include <netinet/in.h>

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "protocol/bytes.h"
#include "ui/boxes.h"

namespace melvorin::hardening {

// FF 00 <payload + 1, cut to a byte> <command> <payload> <checksum of 1..n-2>.
TIdBytes Frame(std::uint8_t command, const TIdBytes& payload);
// A list reply: count byte, then <SSID> 00 <strength> 0D 0A per record.
TIdBytes ListReply(std::uint8_t count, const std::vector<std::pair<TIdBytes, std::uint8_t>>& records);
TIdBytes JoinResult(std::uint8_t ssidVerdict, std::uint8_t keyVerdict);
TIdBytes Bytes(const std::string& text);

// A plain UDP socket bound to a local port (IPv4 any-address, or IPv6-only
// any-address), non-blocking; Bound() says whether the bind worked.
class UdpSocket {
public:
    explicit UdpSocket(std::uint16_t port, int family = AF_INET);
    ~UdpSocket();
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    bool Bound() const { return bound_; }
    // The next datagram within timeoutMs, and its source port; false when
    // none came. Does not run the window's event loop.
    bool Receive(TIdBytes& data, int timeoutMs, std::uint16_t* sourcePort = nullptr);
    // Drops everything queued.
    void Drain();
    // To 127.0.0.1 (or ::1 for an IPv6 socket) on `port`.
    bool SendToLoopback(const TIdBytes& data, std::uint16_t port = 12345);

private:
    int fd_ = -1;
    int family_;
    bool bound_ = false;
};

// Whether a socket of this family can take the port right now.
bool PortFree(std::uint16_t port, int family);
// Whether this namespace has IPv6 on its loopback.
bool IPv6Here();

// VmRSS of this process in kB.
long ResidentKb();

// Boxes that record instead of showing; a notice can run a hook while it is
// "open". Keeps counts, and the texts only up to a limit, so that a flood of
// notices does not grow the test's own memory.
class RecordingBoxes : public ui::IBoxes {
public:
    void ShowNotice(const QString& text) override;
    void ShowError(const QString& text) override;
    void Beep() override { ++beeps; }

    long noticeCount = 0;
    QStringList notices;  // the first kKeptTexts only
    QStringList errors;
    int beeps = 0;
    std::function<void(const QString&)> onNotice;
    static constexpr int kKeptTexts = 64;
};

}  // namespace melvorin::hardening
