// The PortAudio back-ends on a real ALSA device: the default PCM is a
// `file` plugin over the null device, so what is played lands in a file
// and what is captured comes from one. No sound card is needed.
#include <gtest/gtest.h>

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cmath>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include "audio/talk_packet.h"
#include "audio/wave_in_recorder.h"
#include "audio/wave_out_player.h"
#include "decode/audio_decoder.h"
#include "decode/g726.h"
#include "platform/notice.h"
#include "streaming/frame_header.h"
#include "audio/alsa_file_device.h"

namespace {

// ALSA reads its configuration once per process, so every test of this
// program shares one device; each stream open truncates the output file.
const AlsaFileDevice& Device() {
  static AlsaFileDevice device;
  return device;
}

std::vector<int16_t> ReadSamples(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<int16_t> samples(bytes.size() / 2);
  std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
  return samples;
}

// Strongest frequency on a 10 Hz grid, and the signal's RMS.
double PeakHz(const std::vector<int16_t>& s, size_t from, size_t n, double* rms) {
  double best = 0, best_hz = 0, total = 0;
  for (size_t i = from; i < from + n; ++i) total += static_cast<double>(s[i]) * s[i];
  *rms = std::sqrt(total / static_cast<double>(n));
  for (double hz = 100; hz <= 3900; hz += 10) {
    double re = 0, im = 0;
    for (size_t i = from; i < from + n; ++i) {
      const double w = 2 * M_PI * hz * static_cast<double>(i) / 8000.0;
      re += s[i] * std::cos(w);
      im += s[i] * std::sin(w);
    }
    if (re * re + im * im > best) {
      best = re * re + im * im;
      best_hz = hz;
    }
  }
  return best_hz;
}

TEST(RealDevice, DecodedToneComesOutAtTheRightFrequencyAndLevel) {
  ASSERT_TRUE(Device().ok()) << Device().error();
  platform::RecordingNoticeSink notices;
  platform::SetNoticeSink(&notices);
  {
    // One second of a 1 kHz tone at amplitude 10000, coded as the DVR does
    // (G.726 24 kbit/s, 96-byte frames), decoded and played at full volume.
    std::vector<int16_t> tone(8000);
    for (size_t i = 0; i < tone.size(); ++i) tone[i] = static_cast<int16_t>(std::lround(10000 * std::sin(2 * M_PI * 1000 * static_cast<double>(i) / 8000)));
    G726State enc;
    G726InitState(&enc);
    std::vector<uint8_t> coded(3000);
    G726EncodeLE(&enc, kG726Bits24k, tone.data(), tone.size(), coded.data());

    CWaveOutPlayer player;
    EXPECT_EQ(player.pool_size(), 1000u);
    player.SetMuted(0);
    player.SetVolume(0xFFFF);
    CAudioDecoder decoder;
    for (size_t pos = 0; pos < coded.size(); pos += 96) {
      const size_t bytes = std::min<size_t>(96, coded.size() - pos);  // the last frame is short
      std::vector<uint8_t> frame(32 + bytes);
      streaming::FrameHeaderFields f;
      f.medium = streaming::kMediumAudio;
      f.audio_codec = kAudioCodecG726_24;
      f.record_size_bytes = static_cast<uint32_t>(frame.size());
      streaming::BuildFrameHeader(frame.data(), f);
      std::memcpy(frame.data() + 32, coded.data() + pos, bytes);
      const AudioDecodeResult* r = decoder.DecodeAudio(frame.data(), frame.size());
      ASSERT_EQ(r->count, static_cast<int>(bytes * 8 / 3));
      ASSERT_EQ(player.Play(r->samples, r->count, kAudioCodecG726_24, true), 1);
    }
    EXPECT_TRUE(player.WaitUntilPlayed(10000));
  }
  platform::SetNoticeSink(nullptr);
  EXPECT_TRUE(notices.Texts().empty());

  const std::vector<int16_t> out = ReadSamples(Device().output_path());
  ASSERT_EQ(out.size(), 8000u) << "exactly what was played, no padding";
  double rms = 0;
  EXPECT_EQ(PeakHz(out, 800, 6400, &rms), 1000);
  EXPECT_NEAR(rms, 10000 / std::sqrt(2.0), 10000 / std::sqrt(2.0) * 0.1);
}

TEST(RealDevice, ToneFedToTheInputComesBackOutOfTheTalkPackets) {
  ASSERT_TRUE(Device().ok()) << Device().error();
  // Three seconds of a 700 Hz tone wait in the capture file.
  std::vector<int16_t> tone(24000);
  for (size_t i = 0; i < tone.size(); ++i) tone[i] = static_cast<int16_t>(std::lround(6000 * std::sin(2 * M_PI * 700 * static_cast<double>(i) / 8000)));
  Device().WriteInput(tone);

  struct Collector {
    std::mutex lock;
    CTalkPacketizer packetizer;
    std::vector<std::vector<uint8_t>> packets;
    static void OnBlock(void* owner, const AudioBlock* block) {
      auto* self = static_cast<Collector*>(owner);
      std::lock_guard<std::mutex> guard(self->lock);
      if (self->packets.size() >= 40) return;
      uint8_t packet[kTalkPacketMaxBytes];
      const size_t n = self->packetizer.Packetize(kTalkCodecG726, *block, packet, sizeof packet);
      if (n > 0) self->packets.emplace_back(packet, packet + n);
    }
  } collector;
  {
    CTalkSender sender(&collector, &Collector::OnBlock);
    sender.set_talk_codec(kTalkCodecG726);
    ASSERT_EQ(sender.Open(1024), 1);
    ASSERT_EQ(sender.AddBuffers(5), 1);
    for (int i = 0; i < 5000; ++i) {
      {
        std::lock_guard<std::mutex> guard(collector.lock);
        if (collector.packets.size() >= 40) break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    sender.SetStopping();
    sender.Close();
  }
  std::lock_guard<std::mutex> guard(collector.lock);
  ASSERT_GE(collector.packets.size(), 40u);
  // After the first round the packets carry consecutive 32 ms of the tone.
  G726State dec;
  G726InitState(&dec);
  std::vector<int16_t> heard;
  for (size_t p = 5; p < 40; ++p) {
    ASSERT_EQ(collector.packets[p].size(), 132u);
    int16_t pcm[256];
    ASSERT_EQ(G726DecodeLE(&dec, kG726Bits24k, collector.packets[p].data() + 36, 96, pcm), 256u);
    heard.insert(heard.end(), pcm, pcm + 256);
  }
  double rms = 0;
  EXPECT_EQ(PeakHz(heard, 1024, 4096, &rms), 700);
  EXPECT_NEAR(rms, 6000 / std::sqrt(2.0), 6000 / std::sqrt(2.0) * 0.15);
}

}  // namespace
