#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>

#include "protocol/bytes.h"
#include "protocol/widgets.h"

namespace melvorin {

// Command bytes. A reply's command is its request's with the top bit set.
enum Command : std::uint8_t {
    ScanRequest = 0x01,
    JoinRequest = 0x02,
    SsidListReply = 0x81,
    JoinResult = 0x82,
};

inline constexpr std::uint8_t kLeadByte = 0xFF;

// Sum of `count` bytes modulo 256.
std::uint8_t CalcChecksum(const std::uint8_t* bytes, int count);

// FF 00 <payload length + 1> <command> <payload> <checksum over offsets 1..n-2>.
// Raises ERangeError when the length byte would exceed 255.
TIdBytes BuildFrame(std::uint8_t command, const TIdBytes& payload);

// Raises ERangeError when a payload of `length` bytes is too long for a frame.
void CheckPayloadLength(std::size_t length);

// The same frame written into `frame` (any byte vector: SecretBytes for one
// that carries a key), its payload the `parts` one after another, in storage
// taken once: the bytes are never moved.
template <class Bytes>
void WriteFrame(Bytes& frame, std::uint8_t command, std::initializer_list<ByteView> parts) {
    std::size_t length = 0;
    for (const ByteView part : parts) length += part.size();
    CheckPayloadLength(length);
    frame.clear();
    frame.reserve(length + 5);
    frame.push_back(kLeadByte);
    frame.push_back(0x00);
    frame.push_back(static_cast<std::uint8_t>(length + 1));
    frame.push_back(command);
    for (const ByteView part : parts) frame.insert(frame.end(), part.begin(), part.end());
    frame.push_back(CalcChecksum(frame.data() + 1, static_cast<int>(frame.size() - 1)));
}

// Receives the kind and message of an error that the datagram handler drops.
using TDroppedError = std::function<void(const std::string& error)>;

// Called inside a catch block: passes the error being handled to `dropped`
// when that is set. Nothing escapes, not even `dropped`'s own failure.
void PassDropped(const TDroppedError& dropped) noexcept;

// What a datagram was handled as: dropped before dispatch (not accepted, or
// an unknown command), a list reply or a join result (handled perhaps only
// in part).
enum class TDatagramKind { Dropped, ListReply, JoinResult };

// The datagram handler: acceptance (length > 6, lead byte, checksum) and
// dispatch on the command byte. Nothing escapes it: any failure ends the
// handling of this datagram, with the work done so far kept, and is passed
// to `dropped` when that is set.
TDatagramKind HandleDatagram(const TIdBytes& data, ISsidList& list, INotice& notice,
                    const TDroppedError& dropped = {}) noexcept;

}  // namespace melvorin
