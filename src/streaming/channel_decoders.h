// The decoders of a stream session: one video and one audio decoder per
// channel, owned by the session. Setting a slot deletes the decoder it held;
// a channel outside 0..15 takes nothing (the decoder given is deleted).
// Users of a decoder hold the session's decode lock.
#pragma once
#include <mutex>

class CVideoDecoder;
class CAudioDecoder;

class CChannelDecoders {
 public:
  static constexpr int kChannels = 16;

  CChannelDecoders() = default;
  ~CChannelDecoders();
  CChannelDecoders(const CChannelDecoders&) = delete;
  CChannelDecoders& operator=(const CChannelDecoders&) = delete;

  CVideoDecoder* Video(int channel) const;
  CAudioDecoder* Audio(int channel) const;
  void SetVideo(int channel, CVideoDecoder* decoder);
  void SetAudio(int channel, CAudioDecoder* decoder);
  // Resets every video decoder, under decode_lock when one is given, so
  // decoding starts over at the next key picture.
  void ResetVideo(std::mutex* decode_lock);

 private:
  static bool Valid(int channel) { return channel >= 0 && channel < kChannels; }

  CVideoDecoder* video_[kChannels] = {};
  CAudioDecoder* audio_[kChannels] = {};
};
