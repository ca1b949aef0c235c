#include "decode/h264_decoder.h"

#include <xvid.h>

#include <cstdlib>
#include <cstring>

#include "decode/comb_filter.h"
#include "decode/xvid_runtime.h"
#include "streaming/frame_header.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

namespace {

// The comb filter works on pictures of this many lines and more.
constexpr int kCombFilterMinLines = 480;

bool IsPlanar420(int format) { return format == AV_PIX_FMT_YUV420P || format == AV_PIX_FMT_YUVJ420P; }

}  // namespace

void CH264Decoder::AlignedFree::operator()(uint8_t* p) const { std::free(p); }

CH264Decoder::CH264Decoder() {
  decode_detail::EnsureXvidInitialised();
  InitCombFilter(1, 1, 73);
  frame_ = av_frame_alloc();
  packet_ = av_packet_alloc();
  luma_copy_.reset(static_cast<uint8_t*>(std::aligned_alloc(64, kLumaCopyBytes)));
  Reopen();
}

CH264Decoder::~CH264Decoder() {
  avcodec_free_context(&context_);
  av_frame_free(&frame_);
  av_packet_free(&packet_);
}

bool CH264Decoder::Reopen() {
  avcodec_free_context(&context_);
  if (!frame_) frame_ = av_frame_alloc();
  if (!packet_) packet_ = av_packet_alloc();
  codec_ = avcodec_find_decoder(AV_CODEC_ID_H264);
  if (!codec_ || !frame_ || !packet_) return false;
  context_ = avcodec_alloc_context3(codec_);
  if (!context_) return false;
  // A picture must come out of the record that carries it: no reordering
  // delay and no frame threads, which would hold pictures back.
  context_->flags |= AV_CODEC_FLAG_LOW_DELAY;
  context_->thread_count = 1;
  if (avcodec_open2(context_, codec_, nullptr) < 0) {
    avcodec_free_context(&context_);
    return false;
  }
  return true;
}

DecodedPicture* CH264Decoder::Decode(const uint8_t* frame, uint32_t length_bytes, int32_t /*reserved*/) {
  streaming::FrameInfo info;
  if (!frame || !streaming::ParseFrameHeaderQuiet(frame, length_bytes, &info)) return nullptr;

  if (picture_.width == -1 && picture_.height == -1) {
    // After a reset the stream starts again from a key picture.
    started_ = false;
    picture_.width = 0;
    picture_.height = 0;
    if (context_) avcodec_flush_buffers(context_);
  }
  if (!context_ || !frame_ || !packet_) {
    Reopen();
    return nullptr;
  }
  if (!started_) {
    if (info.picture_type != streaming::kPictureTypeKey) return nullptr;
    started_ = true;
    resolution_ = info.resolution;
    pal_ = info.pal;
  }
  if (info.resolution != resolution_ || info.pal != pal_) {
    // A new picture size: start a fresh context. Both values are taken
    // together, so a change of both costs one reopen, not a second one on
    // the next record (which would lose every picture up to the next key).
    if (!Reopen()) return nullptr;
    resolution_ = info.resolution;
    pal_ = info.pal;
  }

  const uint32_t payload_bytes = length_bytes - static_cast<uint32_t>(streaming::kFrameHeaderSize);
  if (payload_bytes == 0) return nullptr;
  packet_->data = const_cast<uint8_t*>(frame + streaming::kFrameHeaderSize);
  packet_->size = static_cast<int>(payload_bytes);
  int err = avcodec_send_packet(context_, packet_);
  if (err == AVERROR(EAGAIN)) {
    // A picture nobody took is still queued: drop it and feed again.
    while (avcodec_receive_frame(context_, frame_) == 0) av_frame_unref(frame_);
    err = avcodec_send_packet(context_, packet_);
  }
  packet_->data = nullptr;
  packet_->size = 0;
  if (err < 0) return nullptr;
  if (avcodec_receive_frame(context_, frame_) != 0) return nullptr;
  DecodedPicture* picture = Pack();
  av_frame_unref(frame_);
  return picture;
}

DecodedPicture* CH264Decoder::Pack() {
  const int width = frame_->width, height = frame_->height;
  const int luma_pitch = frame_->linesize[0];
  if (!IsPlanar420(frame_->format) || width <= 0 || height <= 0 || luma_pitch < width) return nullptr;
  if (uint64_t(width) * uint64_t(height) * 2 > picture_.capacity_bytes) return nullptr;
  if (!luma_copy_) return nullptr;

  const uint8_t* y = frame_->data[0];
  const uint8_t* u = frame_->data[1];
  const uint8_t* v = frame_->data[2];
  // XviD's packing reads chroma rows at half the luma pitch. Frames whose
  // chroma rows lie otherwise are repacked from their own line sizes.
  const int chroma_pitch = luma_pitch / 2;
  const int chroma_width = (width + 1) / 2, chroma_rows = (height + 1) / 2;
  if (chroma_pitch < chroma_width || frame_->linesize[1] < chroma_width || frame_->linesize[2] < chroma_width) {
    return nullptr;
  }
  const bool repack_chroma = frame_->linesize[1] != chroma_pitch || frame_->linesize[2] != chroma_pitch;
  const bool comb = height >= kCombFilterMinLines;
  const uint64_t luma_bytes = uint64_t(height) * uint64_t(luma_pitch);
  const uint64_t chroma_bytes = repack_chroma ? 2 * uint64_t(chroma_rows) * uint64_t(chroma_pitch) : 0;
  if (luma_bytes + chroma_bytes > kLumaCopyBytes) return nullptr;

  if (comb) {
    uint8_t* copy = luma_copy_.get();
    std::memcpy(copy, y, luma_bytes);
    ApplyCombFilter(luma_pitch, height, copy);
    y = copy;
  }
  if (repack_chroma) {
    uint8_t* cu = luma_copy_.get() + luma_bytes;
    uint8_t* cv = cu + uint64_t(chroma_rows) * chroma_pitch;
    for (int row = 0; row < chroma_rows; ++row) {
      std::memcpy(cu + size_t(row) * chroma_pitch, frame_->data[1] + ptrdiff_t(row) * frame_->linesize[1], chroma_width);
      std::memcpy(cv + size_t(row) * chroma_pitch, frame_->data[2] + ptrdiff_t(row) * frame_->linesize[2], chroma_width);
    }
    u = cu;
    v = cv;
  }

  xvid_gbl_convert_t convert;
  std::memset(&convert, 0, sizeof convert);
  convert.version = XVID_VERSION;
  convert.input.csp = XVID_CSP_INTERNAL;  // separate planes; chroma pitch = luma pitch / 2
  convert.input.plane[0] = const_cast<uint8_t*>(y);
  convert.input.plane[1] = const_cast<uint8_t*>(u);
  convert.input.plane[2] = const_cast<uint8_t*>(v);
  convert.input.stride[0] = luma_pitch;
  convert.input.stride[1] = chroma_pitch;
  convert.input.stride[2] = chroma_pitch;
  convert.output.csp = XVID_CSP_YUY2;
  convert.output.plane[0] = picture_.buffer;
  convert.output.stride[0] = width * 2;
  convert.width = width;
  convert.height = height;
  convert.interlacing = 0;
  if (xvid_global(nullptr, XVID_GBL_CONVERT, &convert, nullptr) < 0) return nullptr;

  picture_.width = width;
  picture_.height = height;
  return &picture_;
}
