// CPredefinedSink: one site's way into a grid that shows the channels of
// several DVRs (a predefined camera list, grid mode 3). Each site that has
// slots in the list gets a sink of its own; the sink maps the site's DVR
// channels to the grid panes (slots 0..63) that show them, draws each
// picture into those panes with the DVR channel as the picture's second word
// (what the grid gives back as the selected pane identifier in mode 3), puts
// rates, times and camera names on the same panes, and drops channels that
// have no pane. Its pane mask is the set of mapped channels, so the site
// streams only what the list shows.
//
// The map is changed on the user-interface thread while the site's stream
// threads call in; every call holds the sink's lock, so once Map or Clear has
// returned nothing goes to a pane the old map named. The grid's lock comes
// after the sink's; the sink calls nothing else.
#pragma once
#include <cstdint>
#include <mutex>

#include "sites/picture_sink.h"

class CDvrView;

class CPredefinedSink final : public IPictureSink {
 public:
  static constexpr int kSlots = 64;
  static constexpr int kChannels = 16;

  // The grid must outlive the sink, and the site must let go of the sink
  // (SetPictureSink) before the sink is destroyed.
  explicit CPredefinedSink(CDvrView* grid);

  // Pane slot (0..63) shows DVR channel channel (0..15) of this site; -1
  // frees the slot. A channel may show in several slots. Out-of-range values
  // change nothing.
  void Map(int slot, int channel);
  void Clear();
  // The channel a slot shows, or -1.
  int ChannelOfSlot(int slot) const;

  // IPictureSink, from the site's threads.
  bool IsSuspended() override;
  // The mapped channel whose pane the grid shows alone, else -1.
  int SoleChannel() override;
  // One bit per mapped channel.
  uint16_t PaneChannelMask() override;
  void SetRate(int channel, int bytes_per_second) override;
  void SetFrameRate(int channel, int frames_per_second) override;
  void SetChannelTime(int channel, const std::tm& time) override;
  void ShowPicture(int channel, int width, int height, int size_bytes, const uint8_t* pixels) override;
  // The camera name goes to the label of the channel's panes.
  void SetChannelName(int channel, const char* name) override;

 private:
  static bool ValidChannel(int channel) { return channel >= 0 && channel < kChannels; }
  // Calls fn(slot) for every slot of the channel; the caller holds lock_.
  template <typename Fn>
  void ForSlotsLocked(int channel, Fn fn) const {
    if (!ValidChannel(channel)) return;
    for (int slot = 0; slot < kSlots; ++slot) {
      if (slot_channel_[slot] == channel) fn(slot);
    }
  }

  CDvrView* const grid_;
  mutable std::mutex lock_;
  int slot_channel_[kSlots];  // -1: the slot shows nothing of this site
};
