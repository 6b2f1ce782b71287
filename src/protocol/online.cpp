#include "protocol/online.h"

#include <algorithm>

#include "protocol/frame.h"

namespace melvorin {

std::optional<TOnline> ParseOnline(const TIdBytes& d) {
    const std::size_t n = d.size();
    if (n != kOnlineClearSize && n != kOnlineSealedSize) return std::nullopt;
    const std::uint8_t flags = d[15];
    if (d[0] != kLeadByte || d[1] != 0x00 || d[2] != n - 4 || d[3] != kOnlineCommand || d[4] != kOnlineVersion ||
        flags != (n == kOnlineSealedSize ? kOnlineSealed : 0x00) ||
        CalcChecksum(d.data() + 1, static_cast<int>(n - 2)) != d[n - 1]) {
        return std::nullopt;
    }
    TOnline online;
    std::copy_n(d.begin() + 5, online.mac.size(), online.mac.begin());
    std::copy_n(d.begin() + 11, online.ipv4.size(), online.ipv4.begin());
    online.sealed = flags == kOnlineSealed;
    if (online.sealed) {
        std::copy_n(d.begin() + 16, online.token.size(), online.token.begin());
        std::copy_n(d.begin() + 32, online.tag.size(), online.tag.begin());
    }
    return online;
}

}  // namespace melvorin
