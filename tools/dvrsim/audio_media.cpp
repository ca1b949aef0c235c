#include "dvrsim/audio_media.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "adpcmlib/adpcmlib.h"
#include "decode/ima_adpcm.h"
#include "platform/bytes.h"
#include "streaming/frame_header.h"

namespace dvrsim {

namespace {

void Tone(int channel, int frame, int16_t* out) {
  const double hz = ToneHz(channel);
  for (int i = 0; i < kAudioFrameSamples; ++i) {
    const double t = static_cast<double>(frame * kAudioFrameSamples + i) / 8000.0;
    out[i] = static_cast<int16_t>(std::lround(8000.0 * std::sin(2.0 * M_PI * hz * t)));
  }
}

void AppendRecord(AudioLoop* loop, int codec, int channel, uint32_t back_link, const uint8_t* data, size_t n,
                  size_t data_offset) {
  const size_t size = data_offset + n;
  streaming::FrameHeaderFields f;
  f.medium = streaming::kMediumAudio;
  f.channel_index = static_cast<uint8_t>(channel);
  f.record_size_bytes = static_cast<uint32_t>(size);
  f.back_link_bytes = back_link;
  f.picture_type = streaming::kPictureTypeKey;
  f.audio_codec = static_cast<uint8_t>(codec);
  f.audio_channel_flag = 1;
  const size_t start = loop->bytes.size();
  loop->bytes.resize(start + size, 0);
  streaming::BuildFrameHeader(loop->bytes.data() + start, f);
  std::memcpy(loop->bytes.data() + start + data_offset, data, n);
  loop->offsets.push_back(start);
  loop->sizes.push_back(size);
}

}  // namespace

AudioLoop MakeAudioLoop(int codec, int channel) {
  AudioLoop loop;
  int16_t pcm[kAudioFrameSamples];
  uint8_t coded[1024];
  G726State g726;
  G726InitState(&g726);
  HI_VOICE_STATE voice;
  HI_VOICE_EncReset(&voice, HI_VOICE_MODE_FRAMED_G726);
  ImaAdpcmState ima;
  uint32_t back_link = 0;
  for (int frame = 0; frame < kAudioFramesPerSecond; ++frame) {
    Tone(channel, frame, pcm);
    size_t n = 0;
    size_t data_offset = streaming::kFrameHeaderSize;
    switch (codec) {
      case kAudioCodecIma: {
        // Each frame carries the state it starts from at offsets 60 and 62.
        uint8_t block[4 + kAudioFrameSamples / 2] = {};
        block[0] = static_cast<uint8_t>(ima.predictor);
        block[1] = static_cast<uint8_t>(static_cast<uint16_t>(ima.predictor) >> 8);
        block[2] = static_cast<uint8_t>(ima.step_index);
        const size_t bytes = ImaEncode(&ima, pcm, kAudioFrameSamples, block + 4);
        n = 4 + bytes;
        data_offset = 60;
        std::memcpy(coded, block, n);
        break;
      }
      case kAudioCodecG726:
        n = G726EncodeLE(&g726, kG726Bits24k, pcm, kAudioFrameSamples, coded);
        break;
      case kAudioCodecVoice: {
        if (HI_VOICE_EncodeFrame(&voice, pcm, coded, kAudioFrameSamples) != HI_VOICE_SUCCESS) return loop;
        n = HI_VOICE_FRAME_HEADER_BYTES + kAudioFrameSamples / 2;
        break;
      }
      default: {
        const int r = ADPCM_Encode(coded, pcm, kAudioFrameSamples, ADPCM_MODE_G721);
        if (r <= 0) return loop;
        n = static_cast<size_t>(r);
        break;
      }
    }
    AppendRecord(&loop, codec, channel, back_link, coded, n, data_offset);
    back_link = static_cast<uint32_t>(loop.sizes.back());
  }
  return loop;
}

TalkRecorder::TalkRecorder(std::string path, int talk_codec) : path_(std::move(path)), talk_codec_(talk_codec) {
  file_ = std::fopen(path_.c_str(), "wb");
  Reset();
  std::lock_guard<std::mutex> lock(lock_);
  WriteHeaderLocked();
}

TalkRecorder::~TalkRecorder() {
  std::lock_guard<std::mutex> lock(lock_);
  if (file_ != nullptr) std::fclose(file_);
}

void TalkRecorder::Reset() {
  std::lock_guard<std::mutex> lock(lock_);
  G726InitState(&g726_);
  HI_VOICE_DecReset(&voice_, HI_VOICE_MODE_FRAMED_G726);
}

size_t TalkRecorder::samples_written() const {
  std::lock_guard<std::mutex> lock(lock_);
  return samples_;
}

void TalkRecorder::WriteHeaderLocked() {
  if (file_ == nullptr) return;
  uint8_t h[44] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0, 1, 0, 1, 0,
                   0x40, 0x1F, 0, 0, 0x80, 0x3E, 0, 0, 2, 0, 16, 0, 'd', 'a', 't', 'a', 0, 0, 0, 0};
  const uint32_t data_bytes = static_cast<uint32_t>(samples_ * 2);
  const uint32_t riff = 36 + data_bytes;
  for (int i = 0; i < 4; ++i) {
    h[4 + i] = static_cast<uint8_t>(riff >> (8 * i));
    h[40 + i] = static_cast<uint8_t>(data_bytes >> (8 * i));
  }
  std::fseek(file_, 0, SEEK_SET);
  std::fwrite(h, 1, sizeof h, file_);
  std::fseek(file_, 0, SEEK_END);
  std::fflush(file_);
}

bool TalkRecorder::OnTalkPacket(const uint8_t* payload, size_t size) {
  // u32 stamp / 100, a 32-byte audio frame header, then the coded audio.
  constexpr size_t kPrefix = 4 + streaming::kFrameHeaderSize;
  if (size <= kPrefix) return false;
  streaming::FrameInfo info;
  if (!streaming::ParseFrameHeaderQuiet(payload + 4, size - 4, &info) || info.medium != streaming::kMediumAudio) {
    return false;
  }
  const uint8_t* coded = payload + kPrefix;
  const size_t n = size - kPrefix;
  int16_t pcm[HI_VOICE_MAX_FRAME_SAMPLES];
  size_t count = 0;
  std::lock_guard<std::mutex> lock(lock_);
  if (talk_codec_ == 150) {
    int16_t len = static_cast<int16_t>(std::min<size_t>(n, 0x7FFF));
    if (HI_VOICE_DecodeFrame(&voice_, coded, pcm, &len) != HI_VOICE_SUCCESS || len <= 0) return false;
    count = static_cast<size_t>(len);
  } else if (talk_codec_ == 148) {
    if (G726CodeCount(n, kG726Bits24k) > HI_VOICE_MAX_FRAME_SAMPLES) return false;
    count = G726DecodeLE(&g726_, kG726Bits24k, coded, n, pcm);
  } else {
    return false;
  }
  if (file_ != nullptr && count > 0) {
    std::fwrite(pcm, 2, count, file_);  // little-endian hosts only, as the WAV format wants
    samples_ += count;
    WriteHeaderLocked();
  }
  return true;
}

}  // namespace dvrsim
