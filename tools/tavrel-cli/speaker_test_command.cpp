// tavrel-cli speaker-test: checks a machine's sound output the way DVR audio
// reaches it. A tone is coded with one of the DVR audio codecs into frame
// records, each record goes through CAudioDecoder and CWaveOutPlayer on the
// default output device, and the command waits until all of it was played.
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "adpcmlib/adpcmlib.h"
#include "audio/wave_out_player.h"
#include "cli_args.h"
#include "commands.h"
#include "decode/audio_decoder.h"
#include "decode/g726.h"
#include "decode/ima_adpcm.h"
#include "output.h"
#include "streaming/frame_header.h"
#include "voiceengine/voiceengine.h"

namespace {

constexpr double kToneAmplitude = 10000;

std::vector<uint8_t> Record(uint8_t codec, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> frame(streaming::kFrameHeaderSize + data.size());
  streaming::FrameHeaderFields f;
  f.medium = streaming::kMediumAudio;
  f.audio_codec = codec;
  f.record_size_bytes = static_cast<uint32_t>(frame.size());
  streaming::BuildFrameHeader(frame.data(), f);
  std::memcpy(frame.data() + streaming::kFrameHeaderSize, data.data(), data.size());
  return frame;
}

// Codes the tone into the frame records a DVR would send with this codec.
std::vector<std::vector<uint8_t>> CodeFrames(uint8_t codec, const std::vector<int16_t>& pcm) {
  std::vector<std::vector<uint8_t>> frames;
  G726State g726;
  G726InitState(&g726);
  HI_VOICE_STATE voice;
  HI_VOICE_EncReset(&voice, HI_VOICE_MODE_FRAMED_G726);
  ImaAdpcmState ima{pcm.empty() ? int16_t{0} : pcm[0], 0};
  const size_t per_frame = codec == kAudioCodecG726_24 ? 256 : 320;
  for (size_t pos = 0; pos < pcm.size(); pos += per_frame) {
    const size_t n = std::min(per_frame, pcm.size() - pos);
    const int16_t* s = pcm.data() + pos;
    std::vector<uint8_t> data;
    if (codec == kAudioCodecIma) {
      // 28 bytes of sub-header, then the frame's starting state at 60..63.
      data.assign(32, 0);
      data[28] = static_cast<uint8_t>(ima.predictor);
      data[29] = static_cast<uint8_t>(static_cast<uint16_t>(ima.predictor) >> 8);
      data[30] = static_cast<uint8_t>(ima.step_index);
      const size_t whole = n / kImaSamplesPerBlock * kImaSamplesPerBlock;
      data.resize(32 + whole / 2);
      ImaEncode(&ima, s, whole, data.data() + 32);
    } else if (codec == kAudioCodecG726_24) {
      data.resize((n * 3 + 7) / 8);
      G726EncodeLE(&g726, kG726Bits24k, s, n, data.data());
      data.resize(n * 3 / 8);
    } else if (codec == kAudioCodecVoice) {
      data.resize(HI_VOICE_FRAME_HEADER_BYTES + n / 2);
      if (HI_VOICE_EncodeFrame(&voice, s, data.data(), static_cast<int16_t>(n / 4 * 4)) != HI_VOICE_SUCCESS) continue;
    } else {
      data.resize((n + 1) / 2);
      ADPCM_Encode(data.data(), s, static_cast<int>(n), ADPCM_MODE_G721);
    }
    frames.push_back(Record(codec, data));
  }
  return frames;
}

}  // namespace

int RunSpeakerTest(const std::vector<std::string>& args) {
  CliArgs cli(args, {"--codec", "--tone", "--seconds"}, {});
  const long codec = cli.Int("--codec", 0, 17, 20);
  const long tone_hz = cli.Int("--tone", 1000, 50, 3950);
  const long seconds = cli.Int("--seconds", 1, 1, 60);
  if (!cli.Ok() || !cli.Has("--codec")) {
    ErrLine("speaker-test: %s", cli.Ok() ? "--codec 17|18|19|20 is required" : cli.Error().c_str());
    return 2;
  }

  std::vector<int16_t> pcm(static_cast<size_t>(seconds) * 8000);
  for (size_t i = 0; i < pcm.size(); ++i) {
    pcm[i] = static_cast<int16_t>(
        std::lround(kToneAmplitude * std::sin(2 * M_PI * static_cast<double>(tone_hz) * static_cast<double>(i) / 8000.0)));
  }
  const auto frames = CodeFrames(static_cast<uint8_t>(codec), pcm);

  CWaveOutPlayer player;
  // An empty pool means the device did not open; the player has said so.
  if (player.pool_size() == 0) return 1;
  player.SetMuted(0);
  player.SetVolume(0xFFFF);
  OutLine("codec %ld tone %ld seconds %ld", codec, tone_hz, seconds);

  CAudioDecoder decoder;
  long samples = 0;
  long dropped = 0;
  for (const auto& frame : frames) {
    if (StopRequested()) break;
    const AudioDecodeResult* r = decoder.DecodeAudio(frame.data(), frame.size());
    const bool per_sample = codec != 20;
    if (r->count <= 0 || player.Play(r->samples, r->count, static_cast<uint8_t>(codec), true) != 1) {
      ++dropped;
      continue;
    }
    samples += per_sample ? r->count : 2 * r->count;
  }
  const bool drained = player.WaitUntilPlayed(seconds * 1000 + 5000);
  OutLine("frames %zu samples %ld dropped %ld", frames.size(), samples, dropped);
  if (!drained) ErrLine("speaker-test: the device did not take all samples in time");
  return dropped == 0 && drained && !StopRequested() ? 0 : 1;
}
