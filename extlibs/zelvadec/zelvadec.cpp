// libzelvadec on libavcodec. Units reach libavcodec one packet each, with
// the decoder told that packets may end anywhere inside a picture; a
// picture comes out with the unit that completes it (low delay, one
// thread). Output is copied into the decoder's own padded planes, so the
// caller may filter them in place.
#include "zelvadec/zelvadec.h"

#include <cstring>
#include <new>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

namespace {

bool StartsWithStartCode(const uint8_t* d, size_t n) {
  return (n >= 3 && d[0] == 0 && d[1] == 0 && d[2] == 1) || (n >= 4 && d[0] == 0 && d[1] == 0 && d[2] == 0 && d[3] == 1);
}

bool HasMarker(const uint8_t* d, size_t n) {
  return n >= kZvPrefixBytes && std::memcmp(d + kZvMarkerOffset, kZvMarkerBlock, kZvMarkerBytes) == 0;
}

struct UnitKind {
  bool slice = false;        // coded slice of a picture (NAL types 1-5)
  bool starts_idr = false;   // the first slice (macroblock 0) of an IDR picture
};

// What the first unit of an Annex-B buffer is.
UnitKind KindOf(const uint8_t* d, size_t n) {
  UnitKind kind;
  for (size_t i = 0; i + 3 < n; ++i) {
    if (d[i] == 0 && d[i + 1] == 0 && d[i + 2] == 1) {
      const int type = d[i + 3] & 0x1F;
      kind.slice = type >= 1 && type <= 5;
      // first_mb_in_slice is ue(v): 0 is the single bit 1.
      kind.starts_idr = type == 5 && i + 4 < n && (d[i + 4] & 0x80) != 0;
      break;
    }
  }
  return kind;
}

class ZelvaDecoder final : public IH264DecoderDll {
 public:
  ZelvaDecoder() : frame_(av_frame_alloc()), packet_(av_packet_alloc()) {}
  ~ZelvaDecoder() {
    avcodec_free_context(&ctx_);
    av_frame_free(&frame_);
    av_packet_free(&packet_);
  }
  bool usable() const { return frame_ && packet_; }

  int32_t Open(const uint8_t* data, int32_t length, ZvOpenInfo* info) override {
    opened_ = false;
    if (!info || info->size_bytes != sizeof(ZvOpenInfo) || !(info->flags & kZvOpenUnitInput)) return 0;
    if (!data || length <= 0 || !HasMarker(data, static_cast<size_t>(length))) return 0;
    if (!StartContext()) return 0;

    // The key picture tells the size: decode it once, then start clean so
    // the caller's units decode from the beginning of the stream.
    if (!Send(data + kZvPrefixBytes, static_cast<size_t>(length) - kZvPrefixBytes) || !Receive()) return 0;
    const int w = frame_->width, h = frame_->height;
    const bool planar420 = frame_->format == AV_PIX_FMT_YUV420P || frame_->format == AV_PIX_FMT_YUVJ420P;
    av_frame_unref(frame_);
    avcodec_flush_buffers(ctx_);
    picture_pending_ = false;
    if (!planar420 || w <= 0 || h <= 0 || w > 0xFFFF - 32 || h > 0xFFFF) return 0;

    width_ = w;
    height_ = h;
    luma_pitch_ = w + 32;
    chroma_pitch_ = luma_pitch_ / 2;
    const size_t luma = static_cast<size_t>(luma_pitch_) * h;
    const size_t chroma = static_cast<size_t>(chroma_pitch_) * ((h + 1) / 2);
    planes_.assign(luma + 2 * chroma, 0);
    y_ = planes_.data();
    u_ = y_ + luma;
    v_ = u_ + chroma;

    info->coded_width = static_cast<uint16_t>(w);
    info->coded_height = static_cast<uint16_t>(h);
    opened_ = true;
    return 1;
  }

  int32_t Decode(ZvDecodeIo* io) override {
    if (!io) return 0;
    io->y = io->u = io->v = nullptr;
    if (!opened_ || !io->data || io->length <= 0) return 0;
    const uint8_t* d = io->data;
    size_t n = static_cast<size_t>(io->length);
    if (!StartsWithStartCode(d, n)) {
      if (!HasMarker(d, n)) return 0;
      d += kZvPrefixBytes;
      n -= kZvPrefixBytes;
      if (n == 0) return 1;
    }
    const UnitKind kind = KindOf(d, n);
    // A picture cut short leaves libavcodec waiting for its missing slices,
    // and it then refuses the slices of the next picture. An IDR picture
    // needs nothing from before, so the decoder starts clean for it.
    if (kind.starts_idr && picture_pending_) avcodec_flush_buffers(ctx_);
    if (!Send(d, n)) return 0;
    if (kind.slice) picture_pending_ = true;
    if (!Receive()) return 1;
    // Only a slice can complete a picture. The decoder re-announces the
    // last finished picture on a parameter set that follows it, which is
    // not a new picture.
    const bool fresh = kind.slice && CopyOut();
    if (kind.slice) picture_pending_ = false;
    av_frame_unref(frame_);
    if (fresh) {
      io->y = y_;
      io->u = u_;
      io->v = v_;
    }
    return 1;
  }

  int32_t Release() override {
    delete this;
    return 1;
  }

 private:
  bool StartContext() {
    avcodec_free_context(&ctx_);
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    if (!codec) return false;
    ctx_ = avcodec_alloc_context3(codec);
    if (!ctx_) return false;
    ctx_->thread_count = 1;
    ctx_->flags |= AV_CODEC_FLAG_LOW_DELAY;
    ctx_->flags2 |= AV_CODEC_FLAG2_CHUNKS;
    if (avcodec_open2(ctx_, codec, nullptr) < 0) {
      avcodec_free_context(&ctx_);
      return false;
    }
    return true;
  }

  // One packet in. A picture still waiting to be taken is dropped first.
  bool Send(const uint8_t* d, size_t n) {
    if (n > static_cast<size_t>(INT32_MAX - AV_INPUT_BUFFER_PADDING_SIZE)) return false;
    packet_->data = const_cast<uint8_t*>(d);
    packet_->size = static_cast<int>(n);
    int err = avcodec_send_packet(ctx_, packet_);
    if (err == AVERROR(EAGAIN)) {
      while (avcodec_receive_frame(ctx_, frame_) == 0) av_frame_unref(frame_);
      err = avcodec_send_packet(ctx_, packet_);
    }
    packet_->data = nullptr;
    packet_->size = 0;
    return err >= 0;
  }

  bool Receive() { return avcodec_receive_frame(ctx_, frame_) == 0; }

  // Copies the decoded picture into the padded planes; false when it is
  // not the size or format the stream was opened with.
  bool CopyOut() {
    if (frame_->width != width_ || frame_->height != height_) return false;
    if (frame_->format != AV_PIX_FMT_YUV420P && frame_->format != AV_PIX_FMT_YUVJ420P) return false;
    if (frame_->linesize[0] < width_) return false;
    const int cw = (width_ + 1) / 2, ch = (height_ + 1) / 2;
    if (frame_->linesize[1] < cw || frame_->linesize[2] < cw) return false;
    for (int y = 0; y < height_; ++y) {
      std::memcpy(y_ + static_cast<size_t>(y) * luma_pitch_, frame_->data[0] + static_cast<ptrdiff_t>(y) * frame_->linesize[0],
                  width_);
    }
    for (int y = 0; y < ch; ++y) {
      std::memcpy(u_ + static_cast<size_t>(y) * chroma_pitch_, frame_->data[1] + static_cast<ptrdiff_t>(y) * frame_->linesize[1],
                  cw);
      std::memcpy(v_ + static_cast<size_t>(y) * chroma_pitch_, frame_->data[2] + static_cast<ptrdiff_t>(y) * frame_->linesize[2],
                  cw);
    }
    return true;
  }

  AVCodecContext* ctx_ = nullptr;
  AVFrame* frame_;
  AVPacket* packet_;
  bool opened_ = false;
  bool picture_pending_ = false;  // slices went in since the last picture came out
  int width_ = 0, height_ = 0, luma_pitch_ = 0, chroma_pitch_ = 0;
  std::vector<uint8_t> planes_;
  uint8_t* y_ = nullptr;
  uint8_t* u_ = nullptr;
  uint8_t* v_ = nullptr;
};

}  // namespace

extern "C" __attribute__((visibility("default"))) int32_t CreateVDecoder(IH264DecoderDll** object) {
  if (!object) return 0;
  *object = nullptr;
  auto* dec = new (std::nothrow) ZelvaDecoder();
  if (!dec) return 0;
  if (!dec->usable()) {
    dec->Release();
    return 0;
  }
  *object = dec;
  return 1;
}
