#include "streaming/live_stream.h"

#include <cstring>

#include "decode/audio_decoder.h"
#include "decode/video_decoder.h"
#include "platform/bytes.h"
#include "protocol/commands.h"
#include "protocol/control_session.h"

CFragmentAssembler::CFragmentAssembler()
    : buffer_(new uint8_t[kUnitCapacity + kPaddingSize]()) {}

void CFragmentAssembler::Reset() {
  collected_ = 0;
  fragments_ = 0;
  delivered_bytes_ = 0;
  key_a_ = -1;
  key_b_ = -1;
}

CFragmentAssembler::Counts CFragmentAssembler::GetCounts() const {
  Counts c;
  c.units = units_.load(std::memory_order_relaxed);
  c.multi_fragment_units = multi_fragment_units_.load(std::memory_order_relaxed);
  c.dropped_oversize = dropped_oversize_.load(std::memory_order_relaxed);
  c.dropped_broken = dropped_broken_.load(std::memory_order_relaxed);
  return c;
}

void CFragmentAssembler::Drop() {
  collected_ = 0;
  fragments_ = 0;
  key_b_ = -1;
}

bool CFragmentAssembler::Feed(const uint8_t* payload, int payload_bytes) {
  delivered_bytes_ = 0;
  if (payload_bytes < kFragmentHeaderSize) return false;
  const int first_word = platform::GetU16BE(payload + 2);
  const int second_word = platform::GetU16BE(payload + 4);
  const int count = payload[20];
  const int index = payload[21];
  const int data_bytes = payload_bytes - kFragmentHeaderSize;
  if (index == 0) {
    if (Collecting()) Bump(dropped_broken_);  // its end never came
    collected_ = 0;
    fragments_ = 0;
    key_a_ = second_word;
    key_b_ = first_word;
  }
  if (second_word != key_a_ || first_word != key_b_) {
    // Another unit, or one whose start we missed.
    if (Collecting()) Bump(dropped_broken_);
    Drop();
    return false;
  }
  if (data_bytes > kUnitCapacity - collected_) {
    Bump(dropped_oversize_);  // longer than any unit can be
    Drop();
    return false;
  }
  std::memcpy(buffer_.get() + collected_, payload + kFragmentHeaderSize, static_cast<size_t>(data_bytes));
  collected_ += data_bytes;
  ++fragments_;
  if (index != count - 1) return false;
  delivered_bytes_ = collected_;
  std::memset(buffer_.get() + collected_, 0, kPaddingSize);
  Bump(units_);
  if (fragments_ > 1) Bump(multi_fragment_units_);
  collected_ = 0;
  fragments_ = 0;
  key_a_ = -1;
  key_b_ = -1;
  return true;
}

CLiveStream::CLiveStream() { port_ = -1; }

CLiveStream::~CLiveStream() { CLiveStream::Stop(); }

void CLiveStream::Stop() {
  decoders_.ResetVideo(decode_lock_);
  CDvrConnection::Stop();
}

void CLiveStream::SetControlSession(CControlSession* control) { control_.store(control); }
// The worker reads host and port without a lock, so they change only while
// no worker runs (the thread that starts the stream is the one that sets them).
void CLiveStream::SetPort(int port) {
  if (!IsWorkerActive()) port_ = port;
}
void CLiveStream::SetHost(const char* host) {
  if (!IsWorkerActive()) CopyHost(host);
}
void CLiveStream::SetStreamKind(int kind) { stream_kind_.store(kind); }
uint16_t CLiveStream::GetChannelMask() const { return channel_mask_.load(); }

int CLiveStream::StartThread(const char* host, int port, CControlSession* control) {
  run_.store(true);
  // A worker still running keeps what it was started with.
  LaunchWorker([this] { WorkerMain(); },
               [&] {
                 CopyHost(host);
                 port_ = port;
                 control_.store(control);
               });
  return 1;
}

int CLiveStream::Restart() {
  if (port_ == -1 || host_[0] == '\0' || control_.load() == nullptr) return 0;
  char host[sizeof host_];
  std::memcpy(host, host_, sizeof host);
  return StartThread(host, port_, control_.load());
}

void CLiveStream::SetChannelMask(uint16_t mask) {
  channel_mask_.store(mask);
  // Before admission the stored mask travels in the start request; a mask
  // request on a connection the DVR has not admitted yet would confuse it.
  if (!connected_.load()) return;
  uint8_t payload[2];
  platform::PutU16BE(payload, mask);
  Send(cmd::kChannelMask, payload, sizeof payload);
}

void CLiveStream::ClearChannelMask() {
  if (!connected_.load()) return;
  const uint8_t zero[2] = {0, 0};
  Send(cmd::kChannelMask, zero, sizeof zero);
}

void CLiveStream::ResendChannelMask() { SetChannelMask(channel_mask_.load()); }

void CLiveStream::ShowHiddenChannels() {
  const uint8_t zero = 0;
  Send(cmd::kShowHidden, &zero, 1);
}

void CLiveStream::HideHiddenChannels() {
  const uint8_t zero = 0;
  Send(cmd::kHideHidden, &zero, 1);
}

void CLiveStream::WorkerMain() {
  connected_.store(false);
  assembler_.Reset();
  CControlSession* control = control_.load();
  const int session_id = control != nullptr ? control->GetSessionId() : -1;
  bool admitted = session_id != -1 && run_.load() && OpenStream(host_, port_, session_id) == 0;
  if (admitted) {
    connected_.store(true);
    const int kind = stream_kind_.load();
    if (kind >= 1 && kind <= 3) {
      uint8_t start[4];
      platform::PutU16BE(start, channel_mask_.load());
      platform::PutU16BE(start + 2, static_cast<uint16_t>(kind));
      if (Send(cmd::kLiveStart, start, sizeof start) < 0) admitted = false;
    }
  }
  if (admitted) {
    Notify(kNotifyStreamRunning);
    while (run_.load()) {
      CFramePacket* packet = CurrentPacket();
      uint16_t command = 0;
      const int total = ReceiveMessageMs(&command, packet->Payload(), packet->PayloadCapacity(), kReceiveTimeoutMs);
      if (total < 0) break;
      if (total == 0 || command != cmd::kFragment) continue;
      if (assembler_.Feed(packet->Payload(), total - kMessageHeaderSize) && frame_fn_ != nullptr) {
        frame_fn_(assembler_.Unit(), assembler_.UnitBytes(), frame_user_);
      }
    }
  }
  Close();
  Notify(kNotifyStreamEnded);
}

CDualLiveStream::CDualLiveStream() {
  SetStreamKind(1);
  secondary_.SetStreamKind(2);
}

CDualLiveStream::~CDualLiveStream() { CDualLiveStream::Stop(); }

void CDualLiveStream::Stop() {
  CLiveStream::Stop();
  secondary_.Stop();
}

void CDualLiveStream::SetRetryAllowed(bool allowed) {
  CLiveStream::SetRetryAllowed(allowed);
  secondary_.SetRetryAllowed(allowed);
}

void CDualLiveStream::SetFrameCallback(FrameCallback fn, void* user) {
  CLiveStream::SetFrameCallback(fn, user);
  secondary_.SetFrameCallback(fn, user);
}

void CDualLiveStream::ShowHiddenChannels() {
  CLiveStream::ShowHiddenChannels();
  secondary_.ShowHiddenChannels();
}

void CDualLiveStream::HideHiddenChannels() {
  CLiveStream::HideHiddenChannels();
  secondary_.HideHiddenChannels();
}

void CDualLiveStream::SetPrimaryMask(uint16_t mask) { SetChannelMask(mask); }
uint16_t CDualLiveStream::GetPrimaryMask() const { return GetChannelMask(); }
void CDualLiveStream::SetSecondaryMask(uint16_t mask) { secondary_.SetChannelMask(mask); }
uint16_t CDualLiveStream::GetSecondaryMask() const { return secondary_.GetChannelMask(); }

int CDualLiveStream::StartPair(const char* host, int port, CControlSession* control, int secondary_empty) {
  if (StartThread(host, port, control) <= 0) return 0;
  const uint16_t secondary_mask = secondary_empty != 0 ? 0 : GetChannelMask();
  secondary_.SetChannelMask(secondary_mask);
  return secondary_.StartThread(host, port, control);
}
