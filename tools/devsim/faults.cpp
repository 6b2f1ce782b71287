#include "devsim/faults.h"

#include "protocol/frame.h"

namespace melvorin::devsim {

namespace {

constexpr std::size_t kShortBuffer = 256;

bool Is(const TIdBytes& reply, std::uint8_t command) { return reply.size() > 6 && reply[3] == command; }

}  // namespace

const std::vector<std::string>& FaultNames() {
    static const std::vector<std::string> names = {"list-checksum", "list-count", "answers-bad-lead", "short-buffer",
                                                   "no-join-reply"};
    return names;
}

std::optional<Fault> FaultNamed(const std::string& name) {
    const std::vector<std::string>& names = FaultNames();
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i] == name) return static_cast<Fault>(i + 1);
    }
    return std::nullopt;
}

TIdBytes Received(Fault fault, const TIdBytes& datagram) {
    if (fault == Fault::ShortBuffer && datagram.size() > kShortBuffer) {
        return TIdBytes(datagram.begin(), datagram.begin() + kShortBuffer);
    }
    if (fault == Fault::AnswersBadLead && !datagram.empty()) {
        TIdBytes read = datagram;
        read[0] = kLeadByte;
        return read;
    }
    return datagram;
}

std::optional<TIdBytes> Sent(Fault fault, std::optional<TIdBytes> reply) {
    if (!reply) return reply;
    TIdBytes& bytes = *reply;
    const std::size_t n = bytes.size();
    if (fault == Fault::NoJoinReply && Is(bytes, JoinResult)) return std::nullopt;
    if (fault == Fault::ListChecksum && Is(bytes, SsidListReply)) ++bytes[n - 1];
    if (fault == Fault::ListCount && Is(bytes, SsidListReply)) {
        ++bytes[4];
        bytes[n - 1] = CalcChecksum(bytes.data() + 1, static_cast<int>(n - 2));
    }
    return reply;
}

}  // namespace melvorin::devsim
