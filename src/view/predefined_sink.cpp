#include "view/predefined_sink.h"

#include <algorithm>

#include "view/dvr_view.h"

CPredefinedSink::CPredefinedSink(CDvrView* grid) : grid_(grid) {
  std::fill(std::begin(slot_channel_), std::end(slot_channel_), -1);
}

void CPredefinedSink::Map(int slot, int channel) {
  if (slot < 0 || slot >= kSlots || (channel != -1 && !ValidChannel(channel))) return;
  std::lock_guard<std::mutex> lock(lock_);
  slot_channel_[slot] = channel;
}

void CPredefinedSink::Clear() {
  std::lock_guard<std::mutex> lock(lock_);
  std::fill(std::begin(slot_channel_), std::end(slot_channel_), -1);
}

int CPredefinedSink::ChannelOfSlot(int slot) const {
  if (slot < 0 || slot >= kSlots) return -1;
  std::lock_guard<std::mutex> lock(lock_);
  return slot_channel_[slot];
}

bool CPredefinedSink::IsSuspended() { return grid_->IsSuspended(); }

int CPredefinedSink::SoleChannel() {
  const int slot = grid_->SoleChannel();
  return ChannelOfSlot(slot);
}

uint16_t CPredefinedSink::PaneChannelMask() {
  std::lock_guard<std::mutex> lock(lock_);
  uint16_t mask = 0;
  for (int channel : slot_channel_) {
    if (ValidChannel(channel)) mask = static_cast<uint16_t>(mask | (1u << channel));
  }
  return mask;
}

void CPredefinedSink::SetRate(int channel, int bytes_per_second) {
  std::lock_guard<std::mutex> lock(lock_);
  ForSlotsLocked(channel, [&](int slot) { grid_->SetBitRate(slot, bytes_per_second); });
}

void CPredefinedSink::SetFrameRate(int channel, int frames_per_second) {
  std::lock_guard<std::mutex> lock(lock_);
  ForSlotsLocked(channel, [&](int slot) { grid_->SetFrameRateValue(slot, frames_per_second); });
}

void CPredefinedSink::SetChannelTime(int channel, const std::tm& time) {
  std::lock_guard<std::mutex> lock(lock_);
  ForSlotsLocked(channel, [&](int slot) { grid_->SetFrameTime(slot, time); });
}

void CPredefinedSink::ShowPicture(int channel, int width, int height, int size_bytes, const uint8_t* pixels) {
  std::lock_guard<std::mutex> lock(lock_);
  // The pane is the slot; the second word keeps the DVR channel, which the
  // grid hands back for the selected pane in mode 3 (snapshot number, PTZ).
  ForSlotsLocked(channel, [&](int slot) {
    grid_->ShowPicture(PictureRecord{slot, channel, width, height, size_bytes, pixels});
  });
}

void CPredefinedSink::SetChannelName(int channel, const char* name) {
  std::lock_guard<std::mutex> lock(lock_);
  ForSlotsLocked(channel, [&](int slot) { grid_->SetLabel(slot, name); });
}
