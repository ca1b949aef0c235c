// The audio codecs against independent references: FFmpeg's G.726 decoder
// and encoder and its µ-law encoder through libavcodec, and the formulas the
// DVR formats are defined by.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
}

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "adpcmlib/adpcmlib.h"
#include "decode/audio_decoder.h"
#include "decode/g726.h"
#include "decode/ima_adpcm.h"
#include "decode/talk_encoders.h"
#include "g726_ffmpeg_variant.h"
#include "streaming/frame_header.h"
#include "voiceengine/voiceengine.h"

namespace {

// FFmpeg reports frames that do not end on a code boundary; expected here.
const int kQuietFfmpeg = [] {
  av_log_set_level(AV_LOG_ERROR - 1);
  return 0;
}();

// --- FFmpeg as the reference --------------------------------------------

AVCodecContext* OpenCodec(const AVCodec* codec, int bits, bool encoder) {
  AVCodecContext* ctx = avcodec_alloc_context3(codec);
  ctx->sample_rate = 8000;
  av_channel_layout_default(&ctx->ch_layout, 1);
  if (encoder) {
    ctx->sample_fmt = AV_SAMPLE_FMT_S16;
    ctx->bit_rate = bits * 8000;
  } else {
    ctx->bits_per_coded_sample = bits;
  }
  if (avcodec_open2(ctx, codec, nullptr) < 0) avcodec_free_context(&ctx);
  return ctx;
}

// FFmpeg's G.726 decoder on one packet; codec "g726le" reads codes least
// significant bit first, "g726" most significant bit first.
std::vector<int16_t> FfmpegG726Decode(const std::vector<uint8_t>& in, int bits, AVCodecID id) {
  std::vector<int16_t> out;
  AVCodecContext* ctx = OpenCodec(avcodec_find_decoder(id), bits, false);
  if (ctx == nullptr) return out;
  AVPacket* packet = av_packet_alloc();
  av_new_packet(packet, static_cast<int>(in.size()));
  std::memcpy(packet->data, in.data(), in.size());
  AVFrame* frame = av_frame_alloc();
  if (avcodec_send_packet(ctx, packet) == 0) {
    while (avcodec_receive_frame(ctx, frame) == 0) {
      const auto* s = reinterpret_cast<const int16_t*>(frame->data[0]);
      out.insert(out.end(), s, s + frame->nb_samples);
    }
  }
  av_frame_free(&frame);
  av_packet_free(&packet);
  avcodec_free_context(&ctx);
  return out;
}

// FFmpeg's little-endian G.726 encoder; the bytes of all packets.
std::vector<uint8_t> FfmpegG726Encode(const std::vector<int16_t>& in, int bits) {
  std::vector<uint8_t> out;
  AVCodecContext* ctx = OpenCodec(avcodec_find_encoder(AV_CODEC_ID_ADPCM_G726LE), bits, true);
  if (ctx == nullptr) return out;
  AVFrame* frame = av_frame_alloc();
  AVPacket* packet = av_packet_alloc();
  for (size_t pos = 0; pos < in.size(); pos += static_cast<size_t>(ctx->frame_size)) {
    frame->nb_samples = static_cast<int>(std::min<size_t>(static_cast<size_t>(ctx->frame_size), in.size() - pos));
    frame->format = AV_SAMPLE_FMT_S16;
    av_channel_layout_copy(&frame->ch_layout, &ctx->ch_layout);
    av_frame_get_buffer(frame, 0);
    std::memcpy(frame->data[0], &in[pos], static_cast<size_t>(frame->nb_samples) * 2);
    avcodec_send_frame(ctx, frame);
    while (avcodec_receive_packet(ctx, packet) == 0) {
      out.insert(out.end(), packet->data, packet->data + packet->size);
      av_packet_unref(packet);
    }
    av_frame_unref(frame);
  }
  av_packet_free(&packet);
  av_frame_free(&frame);
  avcodec_free_context(&ctx);
  return out;
}

// --- Where FFmpeg and the recommendation part ----------------------------
//
// FFmpeg's G.726 mixes the two quantizer scale factors as
//     y = (yl + (yu - (yl >> 6)) * al) >> 6
// which carries the six fraction bits of yl into the sum and rounds the
// product toward minus infinity. The recommendation's MIX block computes
//     y = (yl >> 6) + sgn(dif) * ((|dif| * al) >> 6),  dif = yu - (yl >> 6)
// (a sign-magnitude product added to the truncated locked factor). Our
// codec follows the recommendation. The two agree whenever al is 0 or 64
// (speed control parameter ap 0 or at least 256), and from the first sample
// where they disagree the two codecs' states go separate ways for good.
//
// So each comparison of our codec below starts both codecs from the initial
// state and requires identical results up to the first sample whose scale
// factor the two rules compute differently; signals are chosen so that
// these prefixes add up to many thousands of samples over every code path.
// (The two also part where a loud signal overflows the predictor's words;
// these prefixes rarely reach that far.) Beyond that point the rest of the
// core is checked over whole streams through a variant of it that takes
// FFmpeg's side of both (g726_ffmpeg_variant.h).
int RecommendationScaleFactor(const G726State& s) {
  if (s.ap >= 256) return s.yu;
  const int dif = s.yu - (s.yl >> 6);
  const int prod = (std::abs(dif) * (s.ap >> 2)) >> 6;
  return (s.yl >> 6) + (dif < 0 ? -prod : prod);
}
int FfmpegScaleFactor(const G726State& s) {
  const int al = s.ap >= 256 ? 64 : s.ap >> 2;
  return (s.yl + (s.yu - (s.yl >> 6)) * al) >> 6;
}

int Code(const std::vector<uint8_t>& bytes, size_t i, int bits) {
  const size_t bit = i * static_cast<size_t>(bits);
  uint32_t v = 0;
  for (size_t b = bit / 8; b < std::min(bytes.size(), bit / 8 + 3); ++b) v |= uint32_t{bytes[b]} << (8 * (b - bit / 8));
  return static_cast<int>((v >> (bit % 8)) & ((1u << bits) - 1));
}

// Decodes codes one by one with our decoder beside FFmpeg's output; returns
// how many samples were compared before the rules parted (all, if never).
size_t CompareDecoderPrefix(const std::vector<uint8_t>& codes, int bits) {
  const std::vector<int16_t> ff = FfmpegG726Decode(codes, bits, AV_CODEC_ID_ADPCM_G726LE);
  const size_t count = G726CodeCount(codes.size(), bits);
  EXPECT_EQ(ff.size(), count);
  G726State s;
  G726InitState(&s);
  for (size_t i = 0; i < count && i < ff.size(); ++i) {
    if (RecommendationScaleFactor(s) != FfmpegScaleFactor(s)) return i;
    const int16_t ours = G726DecodeCode(&s, Code(codes, i, bits), bits);
    // Where the reconstructed signal x 4 leaves 16 bits, we saturate and
    // FFmpeg wraps around; only the range both can represent is compared.
    if (ours == 32767 || ours == -32768) continue;
    EXPECT_EQ(ours, ff[i]) << "bits " << bits << " sample " << i;
    if (ours != ff[i]) return i;
  }
  return count;
}

std::vector<int16_t> SpeechLike(std::mt19937* rng, size_t n, double level) {
  std::vector<int16_t> out(n);
  std::uniform_real_distribution<double> f(120, 3400);
  const double f1 = f(*rng), f2 = f(*rng), f3 = f(*rng), am = 2 + std::fmod(f1, 6);
  std::normal_distribution<double> noise(0, level * 0.03);
  for (size_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / 8000.0;
    const double env = 0.5 + 0.5 * std::sin(2 * M_PI * am * t);
    const double v = level * env *
                         (0.6 * std::sin(2 * M_PI * f1 * t) + 0.3 * std::sin(2 * M_PI * f2 * t + 1) +
                          0.1 * std::sin(2 * M_PI * f3 * t + 2)) +
                     noise(*rng);
    // Multiples of 4: FFmpeg scales input by sample / 4, we by sample >> 2
    // (the 14 high bits of the word, as the recommendation's 14-bit uniform
    // PCM input); the two agree exactly on these.
    out[i] = static_cast<int16_t>(static_cast<int>(std::clamp(v, -32768.0, 32767.0)) & ~3);
  }
  return out;
}

std::vector<int16_t> Tone(double hz, double amplitude, size_t n, size_t leading_zeros = 0) {
  std::vector<int16_t> out(n + leading_zeros, 0);
  for (size_t i = 0; i < n; ++i) {
    out[leading_zeros + i] = static_cast<int16_t>(std::lround(amplitude * std::sin(2 * M_PI * hz * static_cast<double>(i) / 8000.0)));
  }
  return out;
}

// Power of the tone at hz relative to the whole signal, and its RMS.
double ToneShare(const int16_t* s, size_t n, double hz, double* rms = nullptr) {
  double re = 0, im = 0, total = 0;
  for (size_t i = 0; i < n; ++i) {
    const double w = 2 * M_PI * hz * static_cast<double>(i) / 8000.0;
    re += s[i] * std::cos(w);
    im += s[i] * std::sin(w);
    total += static_cast<double>(s[i]) * s[i];
  }
  if (rms != nullptr) *rms = std::sqrt(total / static_cast<double>(n));
  const double tone = 2 * (re * re + im * im) / static_cast<double>(n);
  return total > 0 ? tone / total : 0;
}

class G726AgainstFfmpeg : public testing::TestWithParam<int> {};

TEST_P(G726AgainstFfmpeg, DecoderMatchesUntilTheScaleFactorRulesPart) {
  const int bits = GetParam();
  std::mt19937 rng(100 + static_cast<unsigned>(bits));
  size_t compared = 0;
  // Random codes: large swings, transitions, saturation and the tone detector.
  for (int seg = 0; seg < 60; ++seg) {
    std::vector<uint8_t> codes(1 + rng() % 400);
    for (uint8_t& c : codes) c = static_cast<uint8_t>(rng());
    compared += CompareDecoderPrefix(codes, bits);
  }
  // Coded speech-like signals and tones at many levels, each behind a short
  // silence, which lets the speed control settle before the signal starts.
  for (int seg = 0; seg < 60; ++seg) {
    std::vector<int16_t> sig = SpeechLike(&rng, 4000, 300.0 * (1 + seg % 30) * (1 + seg % 3));
    sig.insert(sig.begin(), 32, 0);
    std::vector<uint8_t> codes((sig.size() * static_cast<size_t>(bits) + 7) / 8);
    G726State enc;
    G726InitState(&enc);
    codes.resize(G726EncodeLE(&enc, bits, sig.data(), sig.size(), codes.data()));
    compared += CompareDecoderPrefix(codes, bits);
  }
  EXPECT_GT(compared, 10000u) << "too little of the signals was comparable";
}

TEST_P(G726AgainstFfmpeg, EncoderMatchesUntilTheScaleFactorRulesPart) {
  const int bits = GetParam();
  std::mt19937 rng(200 + static_cast<unsigned>(bits));
  size_t compared = 0;
  for (int seg = 0; seg < 80; ++seg) {
    std::vector<int16_t> sig = seg % 4 == 3 ? Tone(300 + 37 * seg, 200 + 400 * seg, 4000, 32)
                                            : SpeechLike(&rng, 4000, 250.0 * (1 + seg % 40));
    if (seg % 4 != 3) sig.insert(sig.begin(), 32, 0);
    for (int16_t& v : sig) v = static_cast<int16_t>(v & ~3);
    const std::vector<uint8_t> ff = FfmpegG726Encode(sig, bits);
    ASSERT_EQ(ff.size(), (sig.size() * static_cast<size_t>(bits) + 7) / 8);
    G726State s;
    G726InitState(&s);
    size_t i = 0;
    for (; i < sig.size(); ++i) {
      if (RecommendationScaleFactor(s) != FfmpegScaleFactor(s)) break;
      const int code = G726EncodeSample(&s, sig[i], bits);
      ASSERT_EQ(code, Code(ff, i, bits)) << "bits " << bits << " segment " << seg << " sample " << i;
    }
    compared += i;
  }
  EXPECT_GT(compared, 20000u);
}

// A signal that takes the coder through its states: silence, a steady tone
// (the tone detector locks on), a jump to a loud tone elsewhere (a
// transition; the scale factor at its top), full-range noise (inputs that
// are not multiples of 4, outputs beyond 16 bits), then silence again.
std::vector<int16_t> StateTour(std::mt19937* rng, int seg) {
  std::vector<int16_t> out(200, 0);
  for (const auto& tone : {Tone(300 + 90 * seg, 500 + 700 * seg, 2000), Tone(3400 - 60 * seg, 30000, 1000)}) {
    out.insert(out.end(), tone.begin(), tone.end());
  }
  for (int i = 0; i < 500; ++i) out.push_back(static_cast<int16_t>((*rng)()));
  out.resize(out.size() + 300, 0);
  return out;
}

template <typename T>
size_t FirstDifference(const std::vector<T>& a, const std::vector<T>& b) {
  if (a.size() != b.size()) return std::min(a.size(), b.size());
  return static_cast<size_t>(std::mismatch(a.begin(), a.end(), b.begin()).first - a.begin());
}

TEST_P(G726AgainstFfmpeg, CoreWithFfmpegsMixCodesWholeStreamsAsFfmpeg) {
  const int bits = GetParam();
  std::mt19937 rng(300 + static_cast<unsigned>(bits));
  size_t decoded = 0, differs_from_ours = 0;
  for (int seg = 0; seg < 24; ++seg) {
    const std::vector<int16_t> sig = seg % 2 ? StateTour(&rng, seg) : SpeechLike(&rng, 4000, 400.0 * (1 + seg));
    const std::vector<uint8_t> ff_codes = FfmpegG726Encode(sig, bits);
    const std::vector<uint8_t> codes = g726_ffmpeg::Encode(sig, bits, &differs_from_ours);
    ASSERT_EQ(FirstDifference(codes, ff_codes), codes.size()) << "encoder, segment " << seg;
    // The decoder on FFmpeg's codes of the signal and on random codes.
    std::vector<uint8_t> noise(1500);
    for (uint8_t& c : noise) c = static_cast<uint8_t>(rng());
    const std::vector<uint8_t>* inputs[] = {&ff_codes, &noise};
    for (const std::vector<uint8_t>* in : inputs) {
      const std::vector<int16_t> ff = FfmpegG726Decode(*in, bits, AV_CODEC_ID_ADPCM_G726LE);
      const std::vector<int16_t> ours = g726_ffmpeg::Decode(*in, bits, &differs_from_ours);
      ASSERT_EQ(FirstDifference(ours, ff), ff.size()) << "decoder, segment " << seg;
      decoded += ff.size();
    }
  }
  EXPECT_GT(differs_from_ours, decoded / 50) << "the streams hardly reach states where the two codecs part";
}

INSTANTIATE_TEST_SUITE_P(Rates, G726AgainstFfmpeg, testing::Values(kG726Bits16k, kG726Bits24k, kG726Bits32k),
                         [](const testing::TestParamInfo<int>& p) { return std::to_string(p.param * 8) + "k"; });

TEST(G726Packing, LittleEndianGroupsAndFinalIncompleteGroupMatchFfmpegG726le) {
  // 3-bit codes i in bits 3i..3i+2 of 24-bit little-endian groups is the
  // packing of FFmpeg's "g726le" (and of RFC 3551's G726-24); its "g726"
  // reads the same bytes most significant bit first. Signals whose sample
  // count is not a multiple of 8 end in an incomplete group.
  std::mt19937 rng(5);
  for (size_t samples : {1u, 2u, 7u, 9u, 10u, 13u, 100u, 258u}) {
    std::vector<int16_t> sig = SpeechLike(&rng, samples, 3000);
    sig.insert(sig.begin(), 32, 0);
    const std::vector<uint8_t> ff = FfmpegG726Encode(sig, kG726Bits24k);
    std::vector<uint8_t> ours((sig.size() * 3 + 7) / 8);
    G726State s;
    G726InitState(&s);
    ASSERT_EQ(G726EncodeLE(&s, kG726Bits24k, sig.data(), sig.size(), ours.data()), ours.size());
    EXPECT_EQ(ours, ff) << samples + 32 << " samples";
    EXPECT_EQ(CompareDecoderPrefix(ours, kG726Bits24k), ours.size() * 8 / 3) << ours.size() << " bytes";
  }
  const std::vector<uint8_t> codes = {0x88, 0xC6, 0xFA, 0x05};  // codes 0..7, then 5, 0
  std::vector<int16_t> ours(10);
  G726State s;
  G726InitState(&s);
  ASSERT_EQ(G726DecodeLE(&s, kG726Bits24k, codes.data(), codes.size(), ours.data()), 10u);
  const std::vector<int16_t> le = FfmpegG726Decode(codes, kG726Bits24k, AV_CODEC_ID_ADPCM_G726LE);
  const std::vector<int16_t> be = FfmpegG726Decode(codes, kG726Bits24k, AV_CODEC_ID_ADPCM_G726);
  EXPECT_EQ(ours[0], le[0]);
  EXPECT_NE(ours[0], be[0]) << "first code 0 read LSB first, 4 read MSB first";
}

// --- The frame decoder ----------------------------------------------------

std::vector<uint8_t> AudioFrame(uint8_t codec, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> frame(streaming::kFrameHeaderSize + data.size());
  streaming::FrameHeaderFields f;
  f.medium = streaming::kMediumAudio;
  f.audio_codec = codec;
  f.record_size_bytes = static_cast<uint32_t>(frame.size());
  streaming::BuildFrameHeader(frame.data(), f);
  std::copy(data.begin(), data.end(), frame.begin() + streaming::kFrameHeaderSize);
  return frame;
}

// An IMA frame: 28 bytes of sub-header before the state at 60..63.
std::vector<uint8_t> ImaFrame(int16_t predictor, uint8_t index, const std::vector<uint8_t>& codes) {
  std::vector<uint8_t> data(32, 0);
  data[28] = static_cast<uint8_t>(predictor);
  data[29] = static_cast<uint8_t>(static_cast<uint16_t>(predictor) >> 8);
  data[30] = index;
  data.insert(data.end(), codes.begin(), codes.end());
  return AudioFrame(kAudioCodecIma, data);
}

TEST(ImaAdpcm, CountsFollowWholeBlocksAndOversizedFramesAreRefused) {
  CAudioDecoder dec;
  auto frame = ImaFrame(0, 0, std::vector<uint8_t>(160));
  ASSERT_EQ(frame.size(), 224u);
  EXPECT_EQ(dec.DecodeAudio(frame.data(), frame.size())->count, 320);
  frame = ImaFrame(0, 0, std::vector<uint8_t>(167));
  EXPECT_EQ(dec.DecodeAudio(frame.data(), frame.size())->count, 320) << "a partial block is ignored";
  frame = ImaFrame(0, 0, std::vector<uint8_t>(4000));
  EXPECT_EQ(dec.DecodeAudio(frame.data(), frame.size())->count, 8000);
  frame = ImaFrame(0, 0, std::vector<uint8_t>(4008));
  EXPECT_EQ(dec.DecodeAudio(frame.data(), frame.size())->count, 0) << "8016 samples would overflow the buffer";
  EXPECT_EQ(dec.DecodeAudio(frame.data(), 63)->count, 0);
}

TEST(ImaAdpcm, DecodesByTheStepFormulaFromTheFrameState) {
  // Predictor 1000, index 40 (step 337): codes 7, 8, 15, 0 in the first
  // byte pair (low nibble first), the rest 0.
  std::vector<uint8_t> codes(8, 0);
  codes[0] = 0x87;
  codes[1] = 0x0F;
  auto frame = ImaFrame(1000, 40, codes);
  CAudioDecoder dec;
  const AudioDecodeResult* r = dec.DecodeAudio(frame.data(), frame.size());
  ASSERT_EQ(r->count, 16);
  int predictor = 1000, index = 40;
  const int seq[4] = {7, 8, 15, 0};
  for (int i = 0; i < 4; ++i) {
    const int n = seq[i];
    const int step = kImaStepTable[index];
    index = std::clamp(index + kImaIndexTable[n], 0, 88);
    const int diff = step * (2 * (n & 7) + 1) / 8;
    predictor = std::clamp(n < 8 ? predictor + diff : predictor - diff, -32768, 32767);
    EXPECT_EQ(r->samples[i], predictor) << "code " << i;
  }
  EXPECT_EQ(r->samples[0], 1000 + 337 * 15 / 8);

  // An index beyond the table is clamped to 88 (step 32767), and the
  // predictor saturates.
  frame = ImaFrame(32000, 200, {0x07, 0, 0, 0, 0, 0, 0, 0});
  r = dec.DecodeAudio(frame.data(), frame.size());
  ASSERT_EQ(r->count, 16);
  EXPECT_EQ(r->samples[0], 32767);
}

TEST(ImaAdpcm, BadCodesAndMissingStateAreReportedOnStandardError) {
  int16_t out[2];
  ImaAdpcmState state;
  const uint8_t bad[2] = {3, 16};
  testing::internal::CaptureStderr();
  EXPECT_EQ(DecodeADPCMC(&state, bad, 2, out), 0);
  EXPECT_EQ(DecodeADPCMC(nullptr, bad, 1, out), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "[DecodeADPCMC] Error in ADPCM sample, aborting.\n\n[DecodeADPCMC] Error in ADPCMState, aborting.\n\n");
}

TEST(ImaAdpcm, EncoderRoundTripsAToneThroughTheFrameDecoder) {
  const std::vector<int16_t> tone = Tone(1000, 8000, 320);
  ImaAdpcmState enc{tone[0], 20};
  const ImaAdpcmState start = enc;
  std::vector<uint8_t> codes(160);
  ASSERT_EQ(ImaEncode(&enc, tone.data(), tone.size(), codes.data()), 160u);
  auto frame = ImaFrame(start.predictor, static_cast<uint8_t>(start.step_index), codes);
  CAudioDecoder dec;
  const AudioDecodeResult* r = dec.DecodeAudio(frame.data(), frame.size());
  ASSERT_EQ(r->count, 320);
  EXPECT_GT(ToneShare(r->samples + 32, 288, 1000), 0.99);
}

TEST(AudioDecoder, G726FramesCountEightCodesPerThreeBytesAndKeepState) {
  std::vector<int16_t> tone = Tone(1000, 12000, 512);
  G726State enc;
  G726InitState(&enc);
  std::vector<uint8_t> coded(192);
  ASSERT_EQ(G726EncodeLE(&enc, kG726Bits24k, tone.data(), tone.size(), coded.data()), 192u);

  // Two frames of 96 bytes decode exactly as the whole stream would: the
  // decoder state carries over from frame to frame.
  std::vector<int16_t> whole(512);
  G726State ref;
  G726InitState(&ref);
  G726DecodeLE(&ref, kG726Bits24k, coded.data(), coded.size(), whole.data());
  CAudioDecoder dec;
  for (int half = 0; half < 2; ++half) {
    auto frame = AudioFrame(kAudioCodecG726_24, std::vector<uint8_t>(coded.begin() + 96 * half, coded.begin() + 96 * (half + 1)));
    const AudioDecodeResult* r = dec.DecodeAudio(frame.data(), frame.size());
    ASSERT_EQ(r->count, 256);
    EXPECT_TRUE(std::equal(r->samples, r->samples + 256, whole.begin() + 256 * half));
  }
  auto frame = AudioFrame(kAudioCodecG726_24, std::vector<uint8_t>(97));
  EXPECT_EQ(dec.DecodeAudio(frame.data(), frame.size())->count, 258);
  frame = AudioFrame(kAudioCodecG726_24, std::vector<uint8_t>(3000));
  EXPECT_EQ(dec.DecodeAudio(frame.data(), frame.size())->count, 8000);
  frame = AudioFrame(kAudioCodecG726_24, std::vector<uint8_t>(3001));
  EXPECT_EQ(dec.DecodeAudio(frame.data(), frame.size())->count, -1);
}

TEST(AudioDecoder, G721AndVoiceFramesGoThroughTheLibraries) {
  const std::vector<int16_t> tone = Tone(1000, 10000, 320);
  CAudioDecoder dec;

  // Voice engine: one 164-byte frame gives 320 samples.
  HI_VOICE_STATE enc;
  ASSERT_EQ(HI_VOICE_EncReset(&enc, HI_VOICE_MODE_FRAMED_G726), HI_VOICE_SUCCESS);
  std::vector<uint8_t> voice(164);
  ASSERT_EQ(HI_VOICE_EncodeFrame(&enc, tone.data(), voice.data(), 320), HI_VOICE_SUCCESS);
  auto frame = AudioFrame(kAudioCodecVoice, voice);
  const AudioDecodeResult* r = dec.DecodeAudio(frame.data(), frame.size());
  ASSERT_EQ(r->count, 320);
  EXPECT_GT(ToneShare(r->samples + 64, 256, 1000), 0.98);

  // G.721 (any other codec byte): the count is the payload length in bytes
  // and twice as many samples are in the buffer.
  std::vector<uint8_t> g721(160);
  ASSERT_EQ(ADPCM_Encode(g721.data(), tone.data(), 320, ADPCM_MODE_G721), 160);
  frame = AudioFrame(20, g721);
  r = dec.DecodeAudio(frame.data(), frame.size());
  ASSERT_EQ(r->count, 160);
  EXPECT_GT(ToneShare(r->samples + 64, 256, 1000), 0.98);
  frame = AudioFrame(20, std::vector<uint8_t>(4001));
  EXPECT_EQ(dec.DecodeAudio(frame.data(), frame.size())->count, 0) << "8002 samples would overflow the buffer";
}

class BufferlessDecoder : public CAudioDecoder {
 public:
  BufferlessDecoder() : CAudioDecoder(NoBuffer{}) {}
};

TEST(AudioDecoder, FailedBufferAllocationDecodesNothing) {
  BufferlessDecoder dec;
  EXPECT_EQ(dec.capacity_bytes(), 0u);
  auto frame = AudioFrame(kAudioCodecG726_24, std::vector<uint8_t>(96));
  EXPECT_EQ(dec.DecodeAudio(frame.data(), frame.size())->count, -1);
  frame = ImaFrame(0, 0, std::vector<uint8_t>(160));
  EXPECT_EQ(dec.DecodeAudio(frame.data(), frame.size())->count, 0);
  frame = AudioFrame(20, std::vector<uint8_t>(80));
  EXPECT_EQ(dec.DecodeAudio(frame.data(), frame.size())->count, 0);
}

// --- The codec libraries --------------------------------------------------

TEST(Adpcmlib, LowNibbleFirstG721MatchesFfmpegAndRefusesOtherModes) {
  std::vector<int16_t> tone = Tone(600, 6000, 48, 32);
  for (int16_t& v : tone) v = static_cast<int16_t>(v & ~3);
  std::vector<uint8_t> codes(40);
  ASSERT_EQ(ADPCM_Encode(codes.data(), tone.data(), 80, ADPCM_MODE_G721), 40);
  EXPECT_EQ(codes, FfmpegG726Encode(tone, 4)) << "two codes a byte, the earlier in the low nibble";
  std::vector<int16_t> ours(80);
  ASSERT_EQ(ADPCM_Decode(ours.data(), codes.data(), 40, ADPCM_MODE_G721), 80);
  // Each call starts from the initial state, as FFmpeg does per stream.
  G726State s;
  G726InitState(&s);
  const std::vector<int16_t> ff = FfmpegG726Decode(codes, 4, AV_CODEC_ID_ADPCM_G726LE);
  ASSERT_EQ(ff.size(), 80u);
  size_t agree = 0;
  for (; agree < 80 && RecommendationScaleFactor(s) == FfmpegScaleFactor(s); ++agree) {
    G726DecodeCode(&s, Code(codes, agree, 4), 4);
    if (ours[agree] != 32767 && ours[agree] != -32768) {
      ASSERT_EQ(ours[agree], ff[agree]) << agree;
    }
  }
  EXPECT_EQ(agree, 80u);

  int16_t out[4];
  EXPECT_EQ(ADPCM_Decode(out, codes.data(), 2, 1), -1);
  EXPECT_EQ(ADPCM_Decode(out, codes.data(), -1, ADPCM_MODE_G721), -1);
  EXPECT_EQ(ADPCM_Encode(codes.data(), out, 2, 3), -1);
}

TEST(VoiceEngine, FrameRoundTripHeaderAndRefusals) {
  const std::vector<int16_t> tone = Tone(1000, 9000, 640);
  HI_VOICE_STATE enc, dec;
  ASSERT_EQ(HI_VOICE_EncReset(&enc, 38), HI_VOICE_SUCCESS);
  ASSERT_EQ(HI_VOICE_DecReset(&dec, 38), HI_VOICE_SUCCESS);
  uint8_t frame[2][164];
  std::vector<int16_t> decoded;
  for (int f = 0; f < 2; ++f) {
    ASSERT_EQ(HI_VOICE_EncodeFrame(&enc, tone.data() + 320 * f, frame[f], 320), HI_VOICE_SUCCESS);
    EXPECT_EQ(frame[f][0], 0x00);
    EXPECT_EQ(frame[f][1], 0x01);
    EXPECT_EQ(frame[f][2] | (frame[f][3] << 8), 80) << "80 words of codes";
    int16_t pcm[HI_VOICE_MAX_FRAME_SAMPLES];
    int16_t length = 164;
    ASSERT_EQ(HI_VOICE_DecodeFrame(&dec, frame[f], pcm, &length), HI_VOICE_SUCCESS);
    ASSERT_EQ(length, 320);
    decoded.insert(decoded.end(), pcm, pcm + 320);
  }
  // Both sides keep their state across frames: the two frames decode as one
  // G.726 32 kbit/s stream of the same codes would.
  std::vector<uint8_t> joined(frame[0] + 4, frame[0] + 164);
  joined.insert(joined.end(), frame[1] + 4, frame[1] + 164);
  std::vector<int16_t> whole(640);
  G726State s;
  G726InitState(&s);
  G726DecodeLE(&s, kG726Bits32k, joined.data(), joined.size(), whole.data());
  EXPECT_EQ(decoded, whole);
  EXPECT_GT(ToneShare(decoded.data() + 320, 320, 1000), 0.99);

  int16_t pcm[HI_VOICE_MAX_FRAME_SAMPLES];
  int16_t length = 163;
  EXPECT_EQ(HI_VOICE_DecodeFrame(&dec, frame[0], pcm, &length), HI_VOICE_ERR_FRAME) << "truncated";
  uint8_t bad[164];
  std::memcpy(bad, frame[0], 164);
  bad[1] = 0x02;
  length = 164;
  EXPECT_EQ(HI_VOICE_DecodeFrame(&dec, bad, pcm, &length), HI_VOICE_ERR_FRAME) << "not an audio frame";
  bad[1] = 0x01;
  bad[2] = 0xD1;  // 2001 words: 8004 samples
  bad[3] = 0x07;
  length = 32767;
  std::vector<uint8_t> big(32767, 0);
  std::memcpy(big.data(), bad, 4);
  EXPECT_EQ(HI_VOICE_DecodeFrame(&dec, big.data(), pcm, &length), HI_VOICE_ERR_FRAME) << "too long";
  EXPECT_EQ(length, 32767) << "nothing written on error";

  HI_VOICE_STATE other;
  EXPECT_EQ(HI_VOICE_DecReset(&other, 37), HI_VOICE_ERR_MODE);
  length = 164;
  EXPECT_EQ(HI_VOICE_DecodeFrame(&other, frame[0], pcm, &length), HI_VOICE_ERR_MODE);
  EXPECT_EQ(HI_VOICE_DecodeFrame(&enc, frame[0], pcm, &length), HI_VOICE_ERR_MODE) << "an encoder state";
  EXPECT_EQ(HI_VOICE_EncodeFrame(&enc, tone.data(), frame[0], 322), HI_VOICE_ERR_PARAM);
}

// --- Talk encoders and µ-law ----------------------------------------------

TEST(TalkEncoders, G726TalkCountsClipsAndDecodes) {
  CTalkEncoder enc;
  std::vector<int16_t> tone = Tone(1000, 30000, 256);
  uint8_t out[96];
  EXPECT_EQ(enc.EncodeTalkG726(tone.data(), 256, nullptr, 0), 96);
  EXPECT_EQ(enc.EncodeTalkG726(tone.data(), 256, out, 95), -1);
  ASSERT_EQ(enc.EncodeTalkG726(tone.data(), 256, out, 8000), 96);

  // Samples beyond -24577..24576 are coded as the clipped value.
  std::vector<int16_t> clipped(tone);
  for (int16_t& v : clipped) v = static_cast<int16_t>(std::clamp<int>(v, -24577, 24576));
  CTalkEncoder fresh;
  uint8_t out_clipped[96];
  ASSERT_EQ(fresh.EncodeTalkG726(clipped.data(), 256, out_clipped, 96), 96);
  EXPECT_EQ(0, std::memcmp(out, out_clipped, 96));

  std::vector<int16_t> decoded(256);
  G726State dec;
  G726InitState(&dec);
  ASSERT_EQ(G726DecodeLE(&dec, kG726Bits24k, out, 96, decoded.data()), 256u);
  EXPECT_GT(ToneShare(decoded.data() + 64, 192, 1000), 0.95);
}

TEST(TalkEncoders, VoiceTalkFrameIs164Bytes) {
  CTalkEncoder enc;
  const std::vector<int16_t> tone = Tone(700, 5000, 320);
  uint8_t out[164];
  ASSERT_EQ(enc.EncodeTalkHi(tone.data(), out), HI_VOICE_SUCCESS);
  EXPECT_EQ(out[2] | (out[3] << 8), 80);
}

// G.711 µ-law from the segment definition: value = |x| + 132 (132 - x for
// negatives), segment = position of the highest set bit above bit 7.
uint8_t MulawByDefinition(int x) {
  const int mask = x < 0 ? 0x7F : 0xFF;
  const int value = x < 0 ? 132 - x : x + 132;
  const int segment = std::max(0, static_cast<int>(std::bit_width(static_cast<unsigned>(value))) - 8);
  if (segment > 7) return static_cast<uint8_t>(0x7F ^ mask);
  return static_cast<uint8_t>(((segment << 4) | ((value >> (segment + 3)) & 0xF)) ^ mask);
}

// G.711 decoding of a µ-law byte to 16-bit linear.
int MulawToLinear(uint8_t u) {
  u = static_cast<uint8_t>(~u);
  const int t = (((u & 0x0F) << 3) + 132) << ((u >> 4) & 7);
  return (u & 0x80) ? 132 - t : t - 132;
}

TEST(Mulaw, EveryInputMatchesTheDefinitionAndFfmpegAgreesOffTheDecisionLevels) {
  EXPECT_EQ(LinearToMulaw(0), 0xFF);
  EXPECT_EQ(LinearToMulaw(-1), 0x7F);
  std::vector<int16_t> all(65536);
  for (int i = 0; i < 65536; ++i) all[static_cast<size_t>(i)] = static_cast<int16_t>(i - 32768);
  for (int16_t x : all) ASSERT_EQ(LinearToMulaw(x), MulawByDefinition(x)) << x;

  // FFmpeg's encoder quantizes the input to 14 bits (x >> 2, which floors
  // negative values) and places each decision level halfway between two
  // reconstruction levels. G.711's decision levels are those of the
  // definition above: symmetric in magnitude, and at a segment change not
  // halfway (x = 124 already codes as segment 1). So the two may differ
  // only near a decision level, and then only by one quantization step.
  AVCodecContext* ctx = OpenCodec(avcodec_find_encoder(AV_CODEC_ID_PCM_MULAW), 8, true);
  ASSERT_NE(ctx, nullptr);
  AVFrame* frame = av_frame_alloc();
  frame->nb_samples = 65536;
  frame->format = AV_SAMPLE_FMT_S16;
  av_channel_layout_copy(&frame->ch_layout, &ctx->ch_layout);
  av_frame_get_buffer(frame, 0);
  std::memcpy(frame->data[0], all.data(), all.size() * 2);
  AVPacket* packet = av_packet_alloc();
  ASSERT_EQ(avcodec_send_frame(ctx, frame), 0);
  ASSERT_EQ(avcodec_receive_packet(ctx, packet), 0);
  ASSERT_EQ(packet->size, 65536);
  size_t differ = 0;
  for (size_t i = 0; i < all.size(); ++i) {
    const int x = all[i];
    // Beyond G.711's clipping level both give the end codes; compare the rest.
    if (x > 32635 || x < -32635) continue;
    const uint8_t ours = LinearToMulaw(all[i]);
    const uint8_t ff = packet->data[i];
    if (ours == ff) continue;
    ++differ;
    const int a = MulawToLinear(ours), b = MulawToLinear(ff);
    // x lies between the two neighbouring reconstruction levels.
    ASSERT_LE(std::min(a, b), x) << x;
    ASSERT_GE(std::max(a, b), x) << x;
  }
  EXPECT_LT(differ, all.size() / 50);
  av_packet_free(&packet);
  av_frame_free(&frame);
  avcodec_free_context(&ctx);
}

TEST(Mulaw, HiToMulawAccumulatesPerStateUntilTheRequestedBytes) {
  HI_VOICE_STATE enc, dec, dec2;
  HI_VOICE_EncReset(&enc, 38);
  HI_VOICE_DecReset(&dec, 38);
  HI_VOICE_DecReset(&dec2, 38);
  const std::vector<int16_t> tone = Tone(500, 4000, 320);
  uint8_t frame[164];
  ASSERT_EQ(HI_VOICE_EncodeFrame(&enc, tone.data(), frame, 320), HI_VOICE_SUCCESS);

  const int cap = 1000 + kHiToMulawMaxFrameBytes - 1;
  std::vector<uint8_t> out(static_cast<size_t>(cap));
  HiToMulawState a, b;
  EXPECT_EQ(HiToMulaw(&a, &dec, frame, 164, out.data(), cap, 1000), 0);
  EXPECT_EQ(HiToMulaw(&a, &dec, frame, 164, out.data(), cap, 1000), 0);
  EXPECT_EQ(HiToMulaw(&a, &dec, frame, 164, out.data(), cap, 1000), 0);
  EXPECT_EQ(HiToMulaw(&a, &dec, frame, 164, out.data(), cap, 1000), 1280) << "everything accumulated comes out";

  // The bytes are the µ-law codes of the decoded samples.
  HI_VOICE_STATE check;
  HI_VOICE_DecReset(&check, 38);
  int16_t pcm[HI_VOICE_MAX_FRAME_SAMPLES];
  int16_t length = 164;
  ASSERT_EQ(HI_VOICE_DecodeFrame(&check, frame, pcm, &length), HI_VOICE_SUCCESS);
  for (int i = 0; i < 320; ++i) ASSERT_EQ(out[static_cast<size_t>(i)], LinearToMulaw(pcm[i])) << i;

  // A second conversion beside the first keeps its own bytes; Reset drops
  // what is pending.
  EXPECT_EQ(HiToMulaw(&a, &dec, frame, 164, out.data(), cap, 1000), 0);
  EXPECT_EQ(HiToMulaw(&b, &dec2, frame, 164, out.data(), cap, 320), 320);
  a.Reset();
  EXPECT_EQ(HiToMulaw(&a, &dec, frame, 164, out.data(), cap, 320), 320) << "nothing left from before the reset";

  // Refused calls decode nothing and keep nothing.
  EXPECT_EQ(HiToMulaw(&a, &dec, frame, 164, out.data(), cap - 1, 1000), -1) << "no room for a whole frame";
  EXPECT_EQ(HiToMulaw(&a, &dec, frame, 164, out.data(), cap, -1), -1);
  EXPECT_EQ(HiToMulaw(&a, &dec, frame, -1, out.data(), cap, 1000), -1);
  EXPECT_EQ(HiToMulaw(&a, &dec, nullptr, 164, out.data(), cap, 1000), -1);
  EXPECT_EQ(HiToMulaw(&a, &dec, frame, 164, nullptr, cap, 1000), -1);
  EXPECT_EQ(HiToMulaw(&a, nullptr, frame, 164, out.data(), cap, 1000), -1);
  EXPECT_EQ(HiToMulaw(nullptr, &dec, frame, 164, out.data(), cap, 1000), -1);
  EXPECT_TRUE(a.pending.empty());

  // A caller that lowers its request gets at most its capacity per call.
  std::vector<int16_t> long_tone = Tone(500, 4000, 8000);
  std::vector<uint8_t> big(4004);
  ASSERT_EQ(HI_VOICE_EncodeFrame(&enc, long_tone.data(), big.data(), 8000), HI_VOICE_SUCCESS);
  std::vector<uint8_t> wide(20000 + kHiToMulawMaxFrameBytes - 1), narrow(kHiToMulawMaxFrameBytes);
  const int wide_cap = static_cast<int>(wide.size()), narrow_cap = static_cast<int>(narrow.size());
  EXPECT_EQ(HiToMulaw(&a, &dec, big.data(), 4004, wide.data(), wide_cap, 20000), 0);
  EXPECT_EQ(HiToMulaw(&a, &dec, big.data(), 4004, wide.data(), wide_cap, 20000), 0);
  EXPECT_EQ(HiToMulaw(&a, &dec, big.data(), 4004, narrow.data(), narrow_cap, 1), narrow_cap);
  EXPECT_EQ(HiToMulaw(&a, &dec, nullptr, 0, narrow.data(), narrow_cap, 1), narrow_cap);
  EXPECT_EQ(HiToMulaw(&a, &dec, nullptr, 0, narrow.data(), narrow_cap, 1), narrow_cap);
  EXPECT_EQ(HiToMulaw(&a, &dec, nullptr, 0, narrow.data(), narrow_cap, 1), 0);
}

}  // namespace
