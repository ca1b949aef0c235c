#include <cstring>
#include <memory>

#include "mediagen/mediagen.h"
#include "mediagen/render.h"
#include "streaming/frame_header.h"
#include "zelvadec/zelvadec.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/opt.h>
}

namespace mediagen {
namespace {

struct CodecContextFree {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFree {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFree {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};

std::string AvError(const char* what, int err) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(err, text, sizeof text);
  return std::string(what) + ": " + text;
}

void PutU16LE(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void PutU32LE(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Opens the encoder for the clip's codec; error text on failure.
std::unique_ptr<AVCodecContext, CodecContextFree> OpenEncoder(const ClipRecipe& recipe, Codec codec, Dimensions d,
                                                               int fps, std::string* error) {
  const AVCodec* encoder =
      codec == Codec::kH264 ? avcodec_find_encoder_by_name("libx264") : avcodec_find_encoder(AV_CODEC_ID_MPEG4);
  if (!encoder) {
    *error = codec == Codec::kH264 ? "libavcodec has no libx264 encoder" : "libavcodec has no MPEG-4 encoder";
    return nullptr;
  }
  std::unique_ptr<AVCodecContext, CodecContextFree> ctx(avcodec_alloc_context3(encoder));
  if (!ctx) {
    *error = "cannot allocate an encoder context";
    return nullptr;
  }
  ctx->width = d.width;
  ctx->height = d.height;
  ctx->pix_fmt = AV_PIX_FMT_YUV420P;
  ctx->time_base = AVRational{1, fps};
  ctx->framerate = AVRational{fps, 1};
  ctx->gop_size = recipe.gop;
  ctx->max_b_frames = 0;
  ctx->bit_rate = recipe.bitrate_bps;
  ctx->thread_count = 1;  // deterministic output, one slice unless asked for more
  ctx->log_level_offset = 16;  // the encoders' statistics are not the caller's business; errors still show
  // A one-second rate buffer, as a DVR's encoder keeps its stream steady.
  ctx->rc_buffer_size = recipe.bitrate_bps;
  ctx->rc_max_rate = recipe.bitrate_bps;
  if (codec == Codec::kH264) {
    ctx->keyint_min = recipe.gop;
    av_opt_set(ctx->priv_data, "preset", recipe.h264_preset ? recipe.h264_preset : "veryfast", 0);
    av_opt_set(ctx->priv_data, "tune", "zerolatency", 0);
    av_opt_set_int(ctx->priv_data, "forced-idr", 1, 0);
    char params[64];
    std::snprintf(params, sizeof params, "scenecut=0:slices=%d", recipe.h264_slices < 1 ? 1 : recipe.h264_slices);
    av_opt_set(ctx->priv_data, "x264-params", params, 0);
  } else {
    // Simple profile tools only, so that XviD decodes every frame.
    ctx->qmin = 2;
    ctx->qmax = 31;
  }
  const int err = avcodec_open2(ctx.get(), encoder, nullptr);
  if (err < 0) {
    *error = AvError("cannot open the encoder", err);
    return nullptr;
  }
  return ctx;
}

}  // namespace

Dimensions DimensionsOf(PictureSize size, bool pal) {
  switch (size) {
    case PictureSize::kD1:
      return {720, pal ? 576 : 480};
    case PictureSize::kHalfD1:
      return {720, pal ? 288 : 240};
    case PictureSize::kCif:
      return {352, pal ? 288 : 240};
    case PictureSize::kQcif:
      return {176, pal ? 144 : 120};
  }
  return {352, pal ? 288 : 240};
}

Dimensions PictureDimensions(const ClipRecipe& recipe) {
  if (recipe.custom_size.width > 0 && recipe.custom_size.height > 0) return recipe.custom_size;
  return DimensionsOf(recipe.size, recipe.pal);
}

uint8_t ResolutionCodeOf(PictureSize size) {
  switch (size) {
    case PictureSize::kD1:
      return streaming::kResolutionD1;
    case PictureSize::kHalfD1:
      return streaming::kResolutionHalfD1;
    case PictureSize::kCif:
      return streaming::kResolutionCif;
    case PictureSize::kQcif:
      return 3;
  }
  return streaming::kResolutionCif;
}

Codec CodecForPlatform(int platform_code) {
  return platform_code >= 162 && platform_code <= 164 ? Codec::kH264 : Codec::kMpeg4;
}

uint32_t StampTicksPerSecond(int platform_code) {
  if (platform_code == 160) return 90000;
  if (platform_code == 164) return 1000000;
  return 100000;
}

size_t DataOffsetForPlatform(int platform_code) {
  return platform_code == 162 ? streaming::kFrameHeaderSize + kZvFrameDescriptorBytes + kZvPrefixBytes
                              : streaming::kFrameHeaderSize;
}

size_t AppendFrameRecord(std::vector<uint8_t>* out, const RecordFields& f, const uint8_t* data, size_t size_bytes) {
  const size_t offset = DataOffsetForPlatform(f.platform_code);
  const size_t record = offset + size_bytes;
  if (record > streaming::kMaxRecordSize) return 0;
  const size_t start = out->size();
  out->resize(start + record);
  uint8_t* r = out->data() + start;

  streaming::FrameHeaderFields h;
  h.medium = streaming::kMediumVideo;
  h.channel_index = f.channel_index;
  h.record_size_bytes = static_cast<uint32_t>(record);
  h.back_link_bytes = f.back_link_bytes;
  h.picture_type = f.key ? streaming::kPictureTypeKey : 2;
  h.resolution = f.resolution_code;
  h.pal = f.pal ? 1 : 0;
  h.capture_time = f.capture_time;
  h.time_stamp = f.time_stamp;
  streaming::BuildFrameHeader(r, h);

  if (f.platform_code == 162) {
    uint8_t* desc = r + streaming::kFrameHeaderSize;
    std::memset(desc, 0, kZvFrameDescriptorBytes);
    std::memcpy(desc, "ZVFD", 4);
    PutU16LE(desc + offsetof(ZvFrameDescriptor, version), 1);
    PutU16LE(desc + offsetof(ZvFrameDescriptor, width), f.width);
    PutU16LE(desc + offsetof(ZvFrameDescriptor, height), f.height);
    PutU32LE(desc + offsetof(ZvFrameDescriptor, sequence), f.sequence);
    PutU32LE(desc + offsetof(ZvFrameDescriptor, annexb_bytes), static_cast<uint32_t>(size_bytes));
    uint8_t* payload = desc + kZvFrameDescriptorBytes;
    std::memset(payload, kZvReservedFill, kZvReservedBytes);
    std::memcpy(payload + kZvMarkerOffset, kZvMarkerBlock, kZvMarkerBytes);
  }
  if (size_bytes) std::memcpy(r + offset, data, size_bytes);
  return record;
}

void RestampRecord(uint8_t* record, uint32_t capture_time, uint32_t time_stamp, uint32_t back_link_bytes) {
  streaming::FrameInfo info;
  if (!streaming::ParseFrameHeaderQuiet(record, &info)) return;
  streaming::FrameHeaderFields f = streaming::FieldsFromInfo(info);
  f.capture_time = capture_time;
  f.time_stamp = time_stamp;
  f.back_link_bytes = back_link_bytes;
  streaming::BuildFrameHeader(record, f);
}

EncodedClip GenerateClip(const ClipRecipe& recipe) {
  EncodedClip clip;
  clip.platform_code = recipe.platform_code;
  clip.codec = CodecForPlatform(recipe.platform_code);
  const Dimensions d = PictureDimensions(recipe);
  clip.width = d.width;
  clip.height = d.height;
  clip.resolution_code = ResolutionCodeOf(recipe.size);
  clip.pal = recipe.pal;
  if (recipe.frame_count <= 0 || recipe.gop <= 0 || recipe.bitrate_bps <= 0) {
    clip.error = "frame count, GOP and bit rate must be positive";
    return clip;
  }
  const int fps = recipe.frame_rate > 0 ? recipe.frame_rate : (recipe.pal ? 25 : 30);

  auto ctx = OpenEncoder(recipe, clip.codec, d, fps, &clip.error);
  if (!ctx) return clip;
  std::unique_ptr<AVFrame, FrameFree> frame(av_frame_alloc());
  std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
  if (!frame || !packet) {
    clip.error = "cannot allocate a frame or packet";
    return clip;
  }
  frame->format = AV_PIX_FMT_YUV420P;
  frame->width = d.width;
  frame->height = d.height;
  if (int err = av_frame_get_buffer(frame.get(), 0); err < 0) {
    clip.error = AvError("cannot allocate a picture", err);
    return clip;
  }

  std::unique_ptr<CameraScene> scene;
  if (recipe.camera_like) scene = std::make_unique<CameraScene>(d.width, d.height, recipe.noise_seed);
  if (recipe.keep_source) clip.source.resize(clip.SourceFrameBytes() * static_cast<size_t>(recipe.frame_count));
  clip.frames.reserve(static_cast<size_t>(recipe.frame_count));

  const uint32_t ticks = StampTicksPerSecond(recipe.platform_code);
  auto capture_time_of = [&](int64_t i) { return recipe.start_capture_time + static_cast<uint32_t>(i / fps); };
  auto stamp_of = [&](int64_t i) { return recipe.start_time_stamp + static_cast<uint32_t>(i * ticks / fps); };
  uint32_t back_link = 0;

  auto drain = [&]() -> bool {
    for (;;) {
      const int err = avcodec_receive_packet(ctx.get(), packet.get());
      if (err == AVERROR(EAGAIN) || err == AVERROR_EOF) return true;
      if (err < 0) {
        clip.error = AvError("encoding failed", err);
        return false;
      }
      const int64_t i = packet->pts;
      RecordFields f;
      f.platform_code = recipe.platform_code;
      f.channel_index = static_cast<uint8_t>(recipe.channel_index & 15);
      f.key = (packet->flags & AV_PKT_FLAG_KEY) != 0;
      f.resolution_code = clip.resolution_code;
      f.pal = recipe.pal;
      f.capture_time = capture_time_of(i);
      f.time_stamp = stamp_of(i);
      f.back_link_bytes = back_link;
      f.sequence = static_cast<uint32_t>(i);
      f.width = static_cast<uint16_t>(d.width);
      f.height = static_cast<uint16_t>(d.height);
      ClipFrame cf;
      cf.record_offset = clip.bytes.size();
      cf.record_size_bytes = AppendFrameRecord(&clip.bytes, f, packet->data, static_cast<size_t>(packet->size));
      av_packet_unref(packet.get());
      if (cf.record_size_bytes == 0) {
        clip.error = "an encoded frame does not fit in one record";
        return false;
      }
      cf.data_offset = DataOffsetForPlatform(recipe.platform_code);
      cf.data_size_bytes = cf.record_size_bytes - cf.data_offset;
      cf.key = f.key;
      cf.capture_time = f.capture_time;
      cf.time_stamp = f.time_stamp;
      clip.frames.push_back(cf);
      back_link = static_cast<uint32_t>(cf.record_size_bytes);
    }
  };

  for (int i = 0; i < recipe.frame_count; ++i) {
    if (int err = av_frame_make_writable(frame.get()); err < 0) {
      clip.error = AvError("cannot write the picture", err);
      return clip;
    }
    const PlanarPicture pic{frame->data[0], frame->data[1], frame->data[2], frame->linesize[0], frame->linesize[1]};
    const int picture_index = recipe.first_picture_index + i;
    const uint32_t t = capture_time_of(i);
    if (scene) {
      scene->Draw(picture_index, pic);
    } else {
      DrawPlainBackground(recipe.channel_index, d.width, d.height, pic);
    }
    DrawForeground(recipe, d.width, d.height, picture_index, t, pic);
    if (recipe.keep_source) {
      uint8_t* dst = clip.source.data() + clip.SourceFrameBytes() * static_cast<size_t>(i);
      for (int y = 0; y < d.height; ++y, dst += d.width) std::memcpy(dst, pic.y + y * pic.y_pitch, d.width);
      for (int plane = 1; plane <= 2; ++plane) {
        const uint8_t* src = frame->data[plane];
        for (int y = 0; y < d.height / 2; ++y, dst += d.width / 2) {
          std::memcpy(dst, src + y * frame->linesize[plane], d.width / 2);
        }
      }
    }
    frame->pts = i;
    frame->pict_type = (i % recipe.gop == 0) ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
    if (int err = avcodec_send_frame(ctx.get(), frame.get()); err < 0) {
      clip.error = AvError("encoding failed", err);
      return clip;
    }
    if (!drain()) return clip;
  }
  if (int err = avcodec_send_frame(ctx.get(), nullptr); err < 0) {
    clip.error = AvError("encoding failed", err);
    return clip;
  }
  drain();
  if (clip.ok() && clip.frames.size() != static_cast<size_t>(recipe.frame_count)) {
    clip.error = "the encoder dropped frames";
  }
  return clip;
}

}  // namespace mediagen
