#include "protocol/frame.h"

#include <climits>
#include <cstddef>

#include "protocol/errors.h"
#include "protocol/join.h"
#include "protocol/scan.h"

namespace melvorin {

std::uint8_t CalcChecksum(const std::uint8_t* bytes, int count) {
    std::uint8_t sum = 0;
    for (int i = 0; i < count; ++i) {
        sum = static_cast<std::uint8_t>(sum + bytes[i]);
    }
    return sum;
}

void CheckPayloadLength(std::size_t length) {
    // The length byte counts the command byte and the payload.
    if (length + 1 > 255) {
        throw ERangeError();
    }
}

TIdBytes BuildFrame(std::uint8_t command, const TIdBytes& payload) {
    TIdBytes frame;
    WriteFrame(frame, command, {payload});
    return frame;
}

TDatagramKind HandleDatagram(const TIdBytes& data, ISsidList& list, INotice& notice,
                             const TDroppedError& dropped) noexcept {
    TDatagramKind kind = TDatagramKind::Dropped;
    try {
        const std::size_t n = data.size();
        if (n <= 6 || n > static_cast<std::size_t>(INT_MAX)) {
            return kind;
        }
        if (data[0] != kLeadByte) {
            return kind;
        }
        if (CalcChecksum(data.data() + 1, static_cast<int>(n - 2)) != data[n - 1]) {
            return kind;
        }
        switch (data[3]) {
        case SsidListReply:
            kind = TDatagramKind::ListReply;
            HandleListReply(data, list);
            break;
        case JoinResult:
            kind = TDatagramKind::JoinResult;
            HandleJoinResult(data, notice);
            break;
        default:
            break;
        }
    } catch (...) {
        // A failing datagram ends here; what was done so far stays.
        PassDropped(dropped);
    }
    return kind;
}

void PassDropped(const TDroppedError& dropped) noexcept {
    if (!dropped) return;
    try {
        dropped(CurrentError().Text());
    } catch (...) {
        // Nothing leaves the handler, not even the log's own failure.
    }
}

}  // namespace melvorin
