// The two admission handshakes: the control connection's login and the
// stream open of every media connection, plus the playback stream request.
#include <cstring>

#include "platform/bytes.h"
#include "platform/notice.h"
#include "protocol/commands.h"
#include "protocol/connection.h"

namespace {

// Copies at most 32 bytes of text into a zero-filled 32-byte field; a text of
// 32 bytes or more fills it without a terminator.
void PutField32(uint8_t* field, const char* text) {
  std::memset(field, 0, 32);
  if (text == nullptr) return;
  size_t n = strnlen(text, 32);
  std::memcpy(field, text, n);
}

int MapRefusal(uint16_t result, bool login) {
  switch (result) {
    case 0xF001: return login ? kResultRefused : kResultRefusedOther;
    case 0xF002:
      platform::ShowNotice(login ? "Exceed visitor can Dvr" : "Stream NO_MORE_SESSION");
      return kResultRefusedOther;
    case 0xF003: return kResultRefusedF003;
    case 0xF004: return kResultRefusedF004;
    case 0xF006: return kResultRefusedF006;
    default: return kResultRefusedOther;
  }
}

}  // namespace

int CDvrConnection::Login(const char* host, int port, const char* user_id, const char* password) {
  if (Open(host, port) <= 0) return kResultNoConnection;
  uint8_t request[64];
  PutField32(request, user_id);
  PutField32(request + 32, password);
  if (SendMessage(cmd::kLogonReq, request, sizeof request) <= 0) return kResultHandshakeFailed;

  CFramePacket* packet = CurrentPacket();
  uint16_t command = 0;
  const int total = ReceiveMessage(&command, packet->Payload(), packet->PayloadCapacity(), kHandshakeTimeoutS);
  if (total <= 0 || command != cmd::kLogonAns || total - kMessageHeaderSize < 4) return kResultHandshakeFailed;
  const uint16_t result = platform::GetU16BE(packet->Payload());
  if (result == 1) return platform::GetU16BE(packet->Payload() + 2);
  return MapRefusal(result, true);
}

int CDvrConnection::OpenStream(const char* host, int port, int session_id) {
  if (Open(host, port) != 1) return kResultNoConnection;
  uint8_t request[2];
  platform::PutU16BE(request, static_cast<uint16_t>(session_id));
  if (SendMessage(cmd::kStreamOpenReq, request, sizeof request) <= 0) return kResultHandshakeFailed;

  CFramePacket* packet = CurrentPacket();
  uint16_t command = 0;
  const int total = ReceiveMessage(&command, packet->Payload(), packet->PayloadCapacity(), kHandshakeTimeoutS);
  if (total <= 0 || command != cmd::kStreamOpenAns || total - kMessageHeaderSize < 2) return kResultHandshakeFailed;
  const uint16_t result = platform::GetU16BE(packet->Payload());
  if (result == 1) return 0;
  return MapRefusal(result, false);
}

int CDvrConnection::SendPlaybackRequest(uint16_t channel_mask, uint16_t kind) {
  uint8_t request[76] = {};
  const uint16_t fields[] = {1, 1, 0, channel_mask, kind, 1, 1970, 1, 1, 1, 1, 1};
  for (size_t i = 0; i < sizeof fields / sizeof fields[0]; ++i) platform::PutU16BE(request + 2 * i, fields[i]);
  return SendMessage(cmd::kPlaybackReq, request, sizeof request);
}
