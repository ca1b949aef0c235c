// Decodes the simulator's per-channel loops with bare libavcodec, one
// decoder per channel as the client keeps them, and prints the processor
// time per decoded picture: the reference the client's end-to-end figure is
// measured against.
//   live_reference --channels 16 --resolution cif|d1 [--platform 164]
//                  [--fps 25] [--camera-like] [--pictures N]
#include <time.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "dvrsim/media_store.h"
#include "dvrsim/sim_config.h"

namespace {
double CpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}
}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  long pictures_wanted = 4000;
  std::vector<std::string> sim_args;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--pictures" && i + 1 < args.size()) {
      pictures_wanted = std::stol(args[++i]);
    } else {
      sim_args.push_back(args[i]);
    }
  }
  dvrsim::SimConfig config;
  std::string error;
  if (dvrsim::ParseOptions(sim_args, &config, &error) != dvrsim::ParseOutcome::kRun) {
    std::fprintf(stderr, "live_reference: %s\n", error.c_str());
    return 2;
  }
  if (config.platform != 163 && config.platform != 164) {
    std::fprintf(stderr, "live_reference: H.264 platforms only (163, 164)\n");
    return 2;
  }
  dvrsim::MediaStore media(config);
  const int channels = config.channels;
  std::vector<AVCodecContext*> contexts;
  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
  for (int c = 0; c < channels; ++c) {
    if (!media.Video(c).ok()) {
      std::fprintf(stderr, "live_reference: %s\n", media.Video(c).error.c_str());
      return 1;
    }
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    ctx->thread_count = 1;
    ctx->flags |= AV_CODEC_FLAG_LOW_DELAY;
    if (avcodec_open2(ctx, codec, nullptr) < 0) return 1;
    contexts.push_back(ctx);
  }
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  long pictures = 0;
  const double start = CpuSeconds();
  for (size_t round = 0; pictures < pictures_wanted; ++round) {
    for (int c = 0; c < channels && pictures < pictures_wanted; ++c) {
      const mediagen::EncodedClip& clip = media.Video(c);
      const size_t i = round % clip.frames.size();
      packet->data = const_cast<uint8_t*>(clip.Data(i));
      packet->size = static_cast<int>(clip.frames[i].data_size_bytes);
      if (avcodec_send_packet(contexts[static_cast<size_t>(c)], packet) < 0) continue;
      while (avcodec_receive_frame(contexts[static_cast<size_t>(c)], frame) == 0) ++pictures;
    }
  }
  const double cpu = CpuSeconds() - start;
  std::printf("reference cpu_s=%.3f pictures=%ld cpu_ms_per_picture=%.3f\n", cpu, pictures,
              pictures > 0 ? cpu * 1000.0 / pictures : 0.0);
  for (AVCodecContext* ctx : contexts) avcodec_free_context(&ctx);
  av_frame_free(&frame);
  av_packet_free(&packet);
  return 0;
}
