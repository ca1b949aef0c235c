#include "streaming/channel_decoders.h"

#include "decode/audio_decoder.h"
#include "decode/video_decoder.h"

CChannelDecoders::~CChannelDecoders() {
  for (int i = 0; i < kChannels; ++i) {
    delete video_[i];
    delete audio_[i];
  }
}

CVideoDecoder* CChannelDecoders::Video(int channel) const { return Valid(channel) ? video_[channel] : nullptr; }

CAudioDecoder* CChannelDecoders::Audio(int channel) const { return Valid(channel) ? audio_[channel] : nullptr; }

void CChannelDecoders::SetVideo(int channel, CVideoDecoder* decoder) {
  if (!Valid(channel)) {
    delete decoder;
    return;
  }
  delete video_[channel];
  video_[channel] = decoder;
}

void CChannelDecoders::SetAudio(int channel, CAudioDecoder* decoder) {
  if (!Valid(channel)) {
    delete decoder;
    return;
  }
  delete audio_[channel];
  audio_[channel] = decoder;
}

void CChannelDecoders::ResetVideo(std::mutex* decode_lock) {
  std::unique_lock<std::mutex> lock;
  if (decode_lock != nullptr) lock = std::unique_lock<std::mutex>(*decode_lock);
  for (CVideoDecoder* decoder : video_) {
    if (decoder != nullptr) decoder->Reset();
  }
}
