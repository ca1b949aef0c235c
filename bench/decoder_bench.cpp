// The video decoders against their bare libraries on the same data in the
// same process: CH264Decoder (header parse, libavcodec decode, comb filter,
// YUY2 packing) against libavcodec's send/receive alone with the same
// low-delay settings, and CMpeg4Decoder against xvid_decore decoding
// straight into a YUY2 buffer. The stream is a D1 camera-like clip (panning
// texture, moving objects, sensor noise) at about 2 Mbit/s: flat synthetic
// pictures decode several times faster and would make every overhead look
// large. Each benchmark runs the reference and the decoder in turn over the
// clip and reports the decoder's CPU time per picture as a ratio of the
// reference's (target: at most 1.15); its time column covers both.
#include <benchmark/benchmark.h>

#include <xvid.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "decode/h264_decoder.h"
#include "decode/mpeg4_decoder.h"
#include "mediagen/mediagen.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
}

namespace {

constexpr int kFrames = 50;  // two seconds of PAL, one key picture at the start

const mediagen::EncodedClip& Clip(int platform_code) {
  static std::map<int, mediagen::EncodedClip> clips;
  auto it = clips.find(platform_code);
  if (it == clips.end()) {
    mediagen::ClipRecipe recipe;
    recipe.platform_code = platform_code;
    recipe.size = mediagen::PictureSize::kD1;
    recipe.pal = true;
    recipe.frame_count = kFrames;
    recipe.gop = kFrames;
    recipe.bitrate_bps = 2'000'000;
    recipe.camera_like = true;
    it = clips.emplace(platform_code, mediagen::GenerateClip(recipe)).first;
    if (!it->second.ok()) {
      std::fprintf(stderr, "decoder_bench: %s\n", it->second.error.c_str());
      std::exit(1);
    }
  }
  return it->second;
}

double ThreadCpuSeconds() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// libavcodec alone: one packet per frame, send and receive, nothing else.
class BareH264 {
 public:
  BareH264() {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    ctx_ = avcodec_alloc_context3(codec);
    ctx_->flags |= AV_CODEC_FLAG_LOW_DELAY;
    ctx_->thread_count = 1;
    avcodec_open2(ctx_, codec, nullptr);
    frame_ = av_frame_alloc();
    packet_ = av_packet_alloc();
  }
  ~BareH264() {
    av_packet_free(&packet_);
    av_frame_free(&frame_);
    avcodec_free_context(&ctx_);
  }
  int64_t DecodeClip(const mediagen::EncodedClip& clip) {
    int64_t pictures = 0;
    for (size_t i = 0; i < clip.frames.size(); ++i) {
      packet_->data = const_cast<uint8_t*>(clip.Data(i));
      packet_->size = static_cast<int>(clip.frames[i].data_size_bytes);
      if (avcodec_send_packet(ctx_, packet_) >= 0 && avcodec_receive_frame(ctx_, frame_) == 0) {
        ++pictures;
        av_frame_unref(frame_);
      }
    }
    return pictures;
  }

 private:
  AVCodecContext* ctx_;
  AVFrame* frame_;
  AVPacket* packet_;
};

// XviD alone, decoding straight into a YUY2 buffer.
class BareXvid {
 public:
  BareXvid() {
    xvid_gbl_init_t init;
    std::memset(&init, 0, sizeof init);
    init.version = XVID_VERSION;
    xvid_global(nullptr, XVID_GBL_INIT, &init, nullptr);
    xvid_dec_create_t create;
    std::memset(&create, 0, sizeof create);
    create.version = XVID_VERSION;
    xvid_decore(nullptr, XVID_DEC_CREATE, &create, nullptr);
    handle_ = create.handle;
  }
  ~BareXvid() { xvid_decore(handle_, XVID_DEC_DESTROY, nullptr, nullptr); }
  int64_t DecodeClip(const mediagen::EncodedClip& clip) {
    out_.resize(static_cast<size_t>(clip.width) * clip.height * 2);
    int64_t pictures = 0;
    for (size_t i = 0; i < clip.frames.size(); ++i) {
      xvid_dec_frame_t f;
      std::memset(&f, 0, sizeof f);
      f.version = XVID_VERSION;
      f.general = XVID_LOWDELAY;
      f.bitstream = const_cast<uint8_t*>(clip.Data(i));
      f.length = static_cast<int>(clip.frames[i].data_size_bytes);
      f.output.csp = XVID_CSP_YUY2;
      f.output.plane[0] = out_.data();
      f.output.stride[0] = clip.width * 2;
      // Key frames start with a VOL: one call for it, one for the VOP.
      for (int call = 0; call < 2; ++call) {
        xvid_dec_stats_t stats;
        std::memset(&stats, 0, sizeof stats);
        stats.version = XVID_VERSION;
        const int used = xvid_decore(handle_, XVID_DEC_DECODE, &f, &stats);
        if (used > 0) {
          f.bitstream = static_cast<uint8_t*>(f.bitstream) + used;
          f.length -= used;
        }
        if (stats.type > 0) {
          ++pictures;
          break;
        }
      }
    }
    return pictures;
  }

 private:
  void* handle_ = nullptr;
  std::vector<uint8_t> out_;
};

int64_t DecodeClip(CVideoDecoder* decoder, const mediagen::EncodedClip& clip) {
  int64_t pictures = 0;
  for (size_t i = 0; i < clip.frames.size(); ++i) {
    const DecodedPicture* pic = decoder->Decode(clip.Record(i), static_cast<uint32_t>(clip.frames[i].record_size_bytes), 0);
    if (pic) ++pictures;
    benchmark::DoNotOptimize(pic);
  }
  return pictures;
}

// Runs the reference and the decoder over the whole clip in turn, so both
// see the same load on a shared machine, and reports CPU time per picture
// of the decoder as a ratio of the reference's.
template <typename Bare, typename Decoder>
void Paired(benchmark::State& state, int platform_code) {
  const mediagen::EncodedClip& clip = Clip(platform_code);
  Bare bare;
  Decoder decoder;
  double bare_s = 0, decoder_s = 0;
  int64_t bare_pictures = 0, decoder_pictures = 0;
  bool decoder_first = false;
  for (auto _ : state) {
    const double t0 = ThreadCpuSeconds();
    if (decoder_first) {
      decoder_pictures += DecodeClip(&decoder, clip);
    } else {
      bare_pictures += bare.DecodeClip(clip);
    }
    const double t1 = ThreadCpuSeconds();
    if (decoder_first) {
      bare_pictures += bare.DecodeClip(clip);
    } else {
      decoder_pictures += DecodeClip(&decoder, clip);
    }
    const double t2 = ThreadCpuSeconds();
    (decoder_first ? decoder_s : bare_s) += t1 - t0;
    (decoder_first ? bare_s : decoder_s) += t2 - t1;
    decoder_first = !decoder_first;
  }
  const int64_t expected = static_cast<int64_t>(state.iterations()) * kFrames;
  if (bare_pictures != expected || decoder_pictures != expected) state.SkipWithError("a frame gave no picture");
  state.counters["bare_pictures_per_s"] = bare_s > 0 ? static_cast<double>(bare_pictures) / bare_s : 0;
  state.counters["pictures_per_s"] = decoder_s > 0 ? static_cast<double>(decoder_pictures) / decoder_s : 0;
  state.counters["ratio_vs_bare"] = bare_s > 0 ? decoder_s / bare_s : 0;
  // The stream's own rate, to show what was decoded.
  state.counters["stream_kbit_per_s"] = static_cast<double>(clip.bytes.size()) * 8 / 1000 / (kFrames / 25.0);
}

void BM_H264Decoder(benchmark::State& state) { Paired<BareH264, CH264Decoder>(state, 163); }
void BM_Mpeg4Decoder(benchmark::State& state) { Paired<BareXvid, CMpeg4Decoder>(state, 160); }

}  // namespace

BENCHMARK(BM_H264Decoder)->Unit(benchmark::kMillisecond)->MinTime(4.0);
BENCHMARK(BM_Mpeg4Decoder)->Unit(benchmark::kMillisecond)->MinTime(4.0);

int main(int argc, char** argv) {
  av_log_set_level(AV_LOG_ERROR);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
