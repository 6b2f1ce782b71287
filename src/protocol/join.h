#pragma once

#include "protocol/bytes.h"
#include "protocol/secret_bytes.h"
#include "protocol/sender.h"
#include "protocol/widgets.h"

namespace melvorin {

inline constexpr const char* kKeyPrompt = "请输入密码";
inline constexpr const char* kMsgKeyWrong = "密码格式有误，请重新输入";
inline constexpr const char* kMsgJoined = "提交成功，请检查设备状态";
inline constexpr const char* kMsgSsidWrong = "SSID出错了，请重获SSID";

// The join request for raw SSID bytes and key bytes:
// FF 00 <S+K+4> 02 00 <SSID> 0D 0A <key> <checksum>. Raises ERangeError when
// S + K + 4 exceeds 255. As SecretBytes for a real key: no copy of it is
// made on the way, and the request is wiped when it goes.
template <class Bytes = TIdBytes>
Bytes BuildJoinRequest(ByteView ssid, ByteView key);
extern template TIdBytes BuildJoinRequest<TIdBytes>(ByteView ssid, ByteView key);
extern template SecretBytes BuildJoinRequest<SecretBytes>(ByteView ssid, ByteView key);

// Raises ERangeError for a datagram too short to hold both verdict bytes.
JoinVerdict ClassifyJoinResult(const TIdBytes& data);
// The notice text of a verdict.
const char* JoinVerdictMessage(JoinVerdict verdict);

// lvSsidDblClick: build the join request for the selected row and the key,
// broadcast it to the port of the last scan.
void Join(ISsidList& list, IKeyBox& key, IDatagramSender& sender);

// An accepted datagram with command 0x82: show one of the three messages.
void HandleJoinResult(const TIdBytes& data, INotice& notice);

}  // namespace melvorin
