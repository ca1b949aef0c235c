// Test helpers around generated clips: FFmpeg's own decoders as the
// independent reference, and picture comparisons.
#pragma once
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
}

#include "mediagen/mediagen.h"

namespace mediagen_test {

// Peak signal-to-noise ratio of two 8-bit sample sets read with their own
// strides (in samples); 99 for identical inputs.
inline double Psnr(const uint8_t* a, int a_stride, const uint8_t* b, int b_stride, int width, int height) {
  double sum = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const double d = double(a[static_cast<size_t>(y) * a_stride + x]) - b[static_cast<size_t>(y) * b_stride + x];
      sum += d * d;
    }
  }
  if (sum == 0) return 99;
  return 10 * std::log10(255.0 * 255.0 * width * height / sum);
}

// Luma PSNR of a YUY2 picture (pitch 2 * width) against an I420 source.
inline double Yuy2LumaPsnr(const uint8_t* yuy2, const uint8_t* source_luma, int width, int height) {
  std::vector<uint8_t> luma(static_cast<size_t>(width) * height);
  for (size_t i = 0; i < luma.size(); ++i) luma[i] = yuy2[2 * i];
  return Psnr(luma.data(), width, source_luma, width, width, height);
}

// Chroma (Cb) PSNR of a YUY2 picture against an I420 source: each Cb
// sample of the packed picture stands for two pixels of one row.
inline double Yuy2CbPsnr(const uint8_t* yuy2, const uint8_t* source_i420, int width, int height) {
  const int cw = width / 2, ch = height / 2;
  const uint8_t* src_u = source_i420 + static_cast<size_t>(width) * height;
  std::vector<uint8_t> cb(static_cast<size_t>(cw) * ch);
  for (int y = 0; y < ch; ++y) {
    for (int x = 0; x < cw; ++x) cb[static_cast<size_t>(y) * cw + x] = yuy2[(static_cast<size_t>(2 * y) * width + 2 * x) * 2 + 1];
  }
  return Psnr(cb.data(), cw, src_u, cw, cw, ch);
}

// libavcodec decoding of a clip's elementary stream, one packet per frame.
class ReferenceDecoder {
 public:
  explicit ReferenceDecoder(mediagen::Codec codec) {
    av_log_set_level(AV_LOG_QUIET);
    const AVCodec* c = avcodec_find_decoder(codec == mediagen::Codec::kH264 ? AV_CODEC_ID_H264 : AV_CODEC_ID_MPEG4);
    ctx_ = avcodec_alloc_context3(c);
    ctx_->thread_count = 1;
    ctx_->flags |= AV_CODEC_FLAG_LOW_DELAY;
    avcodec_open2(ctx_, c, nullptr);
    frame_ = av_frame_alloc();
    packet_ = av_packet_alloc();
  }
  ~ReferenceDecoder() {
    avcodec_free_context(&ctx_);
    av_frame_free(&frame_);
    av_packet_free(&packet_);
  }
  ReferenceDecoder(const ReferenceDecoder&) = delete;
  ReferenceDecoder& operator=(const ReferenceDecoder&) = delete;

  // Decodes one frame's data; the picture is in frame() when true.
  bool Decode(const uint8_t* data, size_t size) {
    av_frame_unref(frame_);
    packet_->data = const_cast<uint8_t*>(data);
    packet_->size = static_cast<int>(size);
    const int err = avcodec_send_packet(ctx_, packet_);
    packet_->data = nullptr;
    packet_->size = 0;
    return err >= 0 && avcodec_receive_frame(ctx_, frame_) == 0;
  }
  const AVFrame* frame() const { return frame_; }

 private:
  AVCodecContext* ctx_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVPacket* packet_ = nullptr;
};

}  // namespace mediagen_test
