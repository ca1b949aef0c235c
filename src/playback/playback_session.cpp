#include "playback/playback_session.h"

#include <cstring>

#include "decode/audio_decoder.h"
#include "decode/video_decoder.h"
#include "platform/bytes.h"
#include "protocol/commands.h"

CPlaybackSession::CPlaybackSession() { port_ = -1; }

CPlaybackSession::~CPlaybackSession() { CPlaybackSession::Stop(); }

int CPlaybackSession::StartPlayback(const char* host, int port, int session_id) {
  std::lock_guard<std::mutex> lock(start_lock_);
  if (stopping_) return 1;
  platform::CopyTextBounded(next_host_, sizeof next_host_, host != nullptr ? host : "", sizeof next_host_ - 1);
  next_port_ = port;
  next_session_id_ = session_id;
  run_.store(true);
  if (IsWorkerActive() && !finished_) {
    // A worker in its receive loop keeps what it was started with; one that
    // is ending connects again with the new values.
    if (ending_) restart_ = true;
    return 1;
  }
  // No worker, or one past its last look at restart_: join it (it takes
  // this lock no more) and start a new one.
  StopThread();
  finished_ = false;
  ending_ = false;
  restart_ = false;
  LaunchWorker([this] { WorkerMain(); },
               [this] {
                 CopyHost(next_host_);
                 port_ = next_port_;
                 session_id_.store(next_session_id_);
               });
  return 1;
}

void CPlaybackSession::Stop() {
  {
    std::lock_guard<std::mutex> lock(start_lock_);
    stopping_ = true;
    restart_ = false;
  }
  CDvrConnection::Stop();
  decoders_.ResetVideo(decode_lock_);
  std::lock_guard<std::mutex> lock(start_lock_);
  stopping_ = false;
}

void CPlaybackSession::ReportStatus(int code) {
  if (status_fn_ != nullptr) status_fn_(code, status_user_);
}

void CPlaybackSession::WorkerMain() {
  for (;;) {
    const bool ended = RunRound();
    Close();
    {
      std::lock_guard<std::mutex> lock(start_lock_);
      ending_ = true;
    }
    // The status handler may start the session again, from this thread or
    // from another; either way the start lands in restart_.
    if (ended) ReportStatus(kPlaybackStatusEnded);
    {
      std::lock_guard<std::mutex> lock(start_lock_);
      if (!restart_ || !run_.load() || stopping_) {
        finished_ = true;
        break;
      }
      restart_ = false;
      ending_ = false;
      CopyHost(next_host_);
      port_ = next_port_;
      session_id_.store(next_session_id_);
    }
  }
  Notify(kNotifyStreamEnded);
}

bool CPlaybackSession::RunRound() {
  rounds_.fetch_add(1);
  connected_.store(false);
  playing_.store(false);
  admitted_.store(false);
  assembler_.Reset();
  if (!run_.load()) return false;
  // A refused or failed open ends the round silently; the panel stays stopped.
  if (OpenStream(host_, port_, session_id_.load()) != 0) return false;
  if (SendPlaybackRequest(0xFFFF, 3) <= 0) return true;
  admitted_.store(true);
  Notify(kNotifyStreamRunning);
  bool ended = false;
  while (run_.load()) {
    CFramePacket* packet = CurrentPacket();
    uint16_t command = 0;
    const int total =
        ReceiveMessageMs(&command, packet->Payload(), packet->PayloadCapacity(), kReceiveTimeoutS * 1000L);
    if (total < 0) break;
    if (total == 0) continue;
    packet->command = command;
    packet->total_length = total;
    packet->payload_length = total - kMessageHeaderSize;
    handling_current_ = true;
    const bool goes_on = HandleMessage(command, packet->Payload(), packet->payload_length);
    handling_current_ = false;
    if (!goes_on) {
      ended = true;
      break;
    }
  }
  admitted_.store(false);
  playing_.store(false);
  connected_.store(false);
  return ended;
}

bool CPlaybackSession::HandleMessage(uint16_t command, const uint8_t* payload, int payload_bytes) {
  if (payload_bytes < 0) payload_bytes = 0;
  switch (command) {
    case cmd::kFragment:
      if (assembler_.Feed(payload, payload_bytes) && frame_fn_ != nullptr) {
        frame_fn_(assembler_.Unit(), assembler_.UnitBytes(), frame_user_);
      }
      return true;
    case cmd::kPlaybackRunning:
      connected_.store(true);
      playing_.store(true);
      ReportStatus(kPlaybackStatusRunning);
      return true;
    case cmd::kPlaybackEnded:
      connected_.store(false);
      playing_.store(false);
      run_.store(false);
      return false;
    case 0x4105: case 0x4113: case 0x4121: case 0x4123: case 0x4125:
    case 0x4127: case 0x4129: case 0x412B: case 0x412D:
      return true;
    default:
      break;
  }
  // Nobody reads these answers; the queue keeps the latest ones.
  QueueMessage(answer_queue_, command, payload, payload_bytes, handling_current_);
  return true;
}

bool CPlaybackSession::SendRequest(uint16_t command, const uint8_t* payload, int length) {
  // Before the DVR admitted the connection a request would be read as part
  // of the handshake.
  if (!admitted_.load()) return false;
  return Send(command, payload, length) == kMessageHeaderSize + length;
}

bool CPlaybackSession::ClosePlayback() {
  const uint8_t zero = 0;
  return SendRequest(cmd::kPlaybackClose, &zero, 1);
}

bool CPlaybackSession::SetPosition(int year, int month, int day, int hour, int minute, int second) {
  uint8_t payload[12];
  const int fields[] = {year, month, day, hour, minute, second};
  for (int i = 0; i < 6; ++i) platform::PutU16BE(payload + 2 * i, static_cast<uint16_t>(fields[i]));
  return SendRequest(cmd::kPlaybackPosition, payload, sizeof payload);
}

bool CPlaybackSession::PlayControl(int action, int direction, int step) {
  uint8_t payload[6];
  platform::PutU16BE(payload, static_cast<uint16_t>(action));
  platform::PutU16BE(payload + 2, static_cast<uint16_t>(direction));
  platform::PutU16BE(payload + 4, static_cast<uint16_t>(step));
  return SendRequest(cmd::kPlayControl, payload, sizeof payload);
}

bool CPlaybackSession::SendPlaybackMask(uint16_t mask) {
  uint8_t payload[2];
  platform::PutU16BE(payload, mask);
  return SendRequest(cmd::kChannelMask, payload, sizeof payload);
}

bool CPlaybackSession::SendZeroRequest(uint16_t command) {
  if (command != cmd::kPlayback4128 && command != cmd::kPlayback412A) return false;
  const uint8_t zero[2] = {0, 0};
  return SendRequest(command, zero, sizeof zero);
}

bool CPlaybackSession::ShowHiddenChannels() {
  const uint8_t zero = 0;
  return SendRequest(cmd::kPlaybackShowHidden, &zero, 1);
}

bool CPlaybackSession::HideHiddenChannels() {
  const uint8_t zero = 0;
  return SendRequest(cmd::kPlaybackHideHidden, &zero, 1);
}

