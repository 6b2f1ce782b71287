#include "protocol/join.h"

#include <cstddef>
#include <cstdint>
#include <string>

#include "protocol/cp936.h"
#include "protocol/errors.h"
#include "protocol/frame.h"
#include "protocol/scan.h"
#include "protocol/state.h"

namespace melvorin {

void Join(ISsidList& list, IKeyBox& key, IDatagramSender& sender) {
    ExchangeState& state = State();

    // Nothing to join without a selected row.
    if (list.RowCount() <= 0) {
        return;
    }
    const int row = list.SelectedRow();
    if (row < 0) {
        return;
    }

    // The row's SSID bytes, exactly as the list reply carried them. A row
    // the table does not hold (the list and the table out of step) is refused.
    if (static_cast<std::size_t>(row) >= state.SsidTable.size()) {
        throw ERangeError();
    }
    state.SelectedSsid = state.SsidTable[static_cast<std::size_t>(row)];
    state.SsidLength = static_cast<std::int32_t>(state.SelectedSsid.size());

    // The key's length in code page 936, or the prompt in a red box.
    const std::string keyText = key.Text();
    if (!keyText.empty()) {
        state.KeyLength = static_cast<std::int32_t>(TextToCp936(keyText).size());
    } else {
        key.SetColor(clRed);
        key.SetText(kKeyPrompt);
    }

    // An empty key or the prompt itself is never sent.
    const std::string shownText = key.Text();
    if (shownText.empty() || shownText == kKeyPrompt) {
        return;
    }

    // The length byte holds S + K + 4: longer names and keys are refused.
    const std::int64_t ssidLength = state.SsidLength;
    const std::int64_t keyLength = state.KeyLength;
    if (ssidLength + keyLength + 4 > 255) {
        throw ERangeError();
    }

    // The request: 00 <SSID> 0D 0A <the first K key bytes>, framed.
    const TIdBytes keyBytes = TextToCp936(key.Text());
    const std::size_t k = static_cast<std::size_t>(keyLength);
    if (keyBytes.size() < k) {
        // The key changed under us; sending part of it would send a wrong key.
        throw EEncodingError("The key changed while the join request was built.");
    }
    state.JoinFrame = BuildJoinRequest(state.SelectedSsid,
                                       TIdBytes(keyBytes.begin(), keyBytes.begin() + static_cast<std::ptrdiff_t>(k)));

    // The port of the last scan; the search-port box is not read here.
    const std::uint16_t port = CheckedSearchPort(state.SearchPort);

    // The join request, broadcast.
    sender.SendDatagram(kBroadcastHost, port, state.JoinFrame);
}

template <class Bytes>
Bytes BuildJoinRequest(ByteView ssid, ByteView key) {
    static constexpr std::uint8_t kStart[] = {0x00};
    static constexpr std::uint8_t kLineEnd[] = {0x0D, 0x0A};
    Bytes frame;
    WriteFrame(frame, JoinRequest, {kStart, ssid, kLineEnd, key});
    return frame;
}
template TIdBytes BuildJoinRequest<TIdBytes>(ByteView ssid, ByteView key);
template SecretBytes BuildJoinRequest<SecretBytes>(ByteView ssid, ByteView key);

JoinVerdict ClassifyJoinResult(const TIdBytes& data) {
    if (data.size() < 6) {
        throw ERangeError();  // no verdict bytes
    }
    if (data[5] != 0x01) return JoinVerdict::KeyFormat;
    return data[4] == 0x01 ? JoinVerdict::Accepted : JoinVerdict::SsidNotFound;
}

const char* JoinVerdictMessage(JoinVerdict verdict) {
    switch (verdict) {
    case JoinVerdict::Accepted:
        return kMsgJoined;
    case JoinVerdict::KeyFormat:
        return kMsgKeyWrong;
    case JoinVerdict::SsidNotFound:
        break;
    }
    return kMsgSsidWrong;
}

void HandleJoinResult(const TIdBytes& data, INotice& notice) {
    const JoinVerdict verdict = ClassifyJoinResult(data);
    notice.ShowNotice({verdict, JoinVerdictMessage(verdict)});
}

}  // namespace melvorin
