// IPictureSink: where a site's live pictures and channel facts go. The video
// grid implements it; the CLI and tests have their own.
#pragma once
#include <cstdint>
#include <ctime>

// Where live pictures and channel facts go: the video grid implements it;
// the CLI and tests have their own. Called on stream threads (pictures,
// rates, times) and the control thread (names).
class IPictureSink {
 public:
  virtual ~IPictureSink() = default;
  // While suspended the grid takes nothing and no picture is decoded.
  virtual bool IsSuspended() = 0;
  // The channel index shown when the grid shows exactly one pane, else -1.
  virtual int SoleChannel() = 0;
  // One bit per pane: the bit of the channel that pane shows.
  virtual uint16_t PaneChannelMask() = 0;
  virtual void SetRate(int channel, int bytes_per_second) = 0;
  virtual void SetFrameRate(int channel, int frames_per_second) = 0;
  virtual void SetChannelTime(int channel, const std::tm& time) = 0;
  // A YUY2 picture of width x height (size_bytes = width x height x 2).
  virtual void ShowPicture(int channel, int width, int height, int size_bytes, const uint8_t* pixels) = 0;
  // The camera name of a channel in the system code page: the pane's label
  // (the title names the site).
  virtual void SetChannelName(int channel, const char* name) = 0;
};
