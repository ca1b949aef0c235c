// Feeds arbitrary bytes, as a DVR would send them on a control connection,
// through message framing and the control session's dispatch.
#include <cstddef>
#include <cstdint>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/notice.h"
#include "protocol/control_session.h"

namespace {
void OnNotify(int, void*) {}
void OnData(int, void*, const StateBlockRef* block) {
  // Touch every stored byte so sanitizers see any overread of the view.
  volatile uint8_t sum = 0;
  for (int i = 0; i < block->size_bytes; ++i) sum = sum + block->data[i];
  if (block->command == 0x7802) {
    (void)PlatformFromDescription(*block);
    (void)ChannelCountFromDescription(*block);
  }
}
void OnEvent(const EventRecord* record, void*) {
  volatile size_t n = 0;
  for (const char* p = record->text; *p != '\0'; ++p) n = n + 1;
}
platform::RecordingNoticeSink g_quiet;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 60000) return 0;  // stays within one socket buffer
  platform::SetNoticeSink(&g_quiet);
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) return 0;
  int buffer = 262144;
  setsockopt(fds[0], SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
  setsockopt(fds[1], SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
  size_t written = 0;
  while (written < size) {
    ssize_t n = write(fds[0], data + written, size - written);
    if (n <= 0) break;
    written += static_cast<size_t>(n);
  }
  close(fds[0]);  // the reader sees the end of the stream after the data

  CControlSession session;
  session.SetNotifyCallback(OnNotify, nullptr);
  session.SetDataCallback(OnData, nullptr);
  session.SetEventCallback(OnEvent, nullptr);
  session.AdoptSocket(fds[1]);
  session.SetRestTimeoutMs(10);
  uint8_t payload[kPacketPayloadCapacity];
  for (int round = 0; round < 10000; ++round) {
    uint16_t command = 0;
    const int total = session.ReceiveMessageMs(&command, payload, sizeof payload, 10);
    if (total < 0) break;
    if (total == 0) continue;
    session.Dispatch(command, payload, total - kMessageHeaderSize);
  }
  // Answers queued for waiters come out whole.
  uint16_t command = 0;
  while (session.TakeAnswer(&command, payload, sizeof payload, 0) > 0) {
  }
  session.Stop();
  return 0;
}
