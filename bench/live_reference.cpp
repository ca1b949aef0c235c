#include "live_reference.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include "dvrsim/media_store.h"

namespace {

constexpr int kChannelSlots = 16;

double ClockSeconds(clockid_t clock) {
  timespec ts{};
  clock_gettime(clock, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

}  // namespace

LiveReference::LiveReference(dvrsim::MediaStore& media, const Options& options)
    : media_(media), options_(options), channels_(static_cast<size_t>(options.sites) * kChannelSlots) {
  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
  for (int s = 0; s < options_.sites && error_.empty(); ++s) {
    for (int c = 0; c < options_.channels && c < kChannelSlots; ++c) {
      if (!Shadows(s, c)) continue;
      const mediagen::EncodedClip& clip = media_.Video(c);
      if (!clip.ok()) {
        error_ = clip.error;
        break;
      }
      if (clip.codec != mediagen::Codec::kH264) {
        error_ = "H.264 platforms only (163, 164)";
        break;
      }
      AVCodecContext* ctx = avcodec_alloc_context3(codec);
      // One thread per decoder and no frame delay, as the client decodes.
      ctx->thread_count = 1;
      ctx->flags |= AV_CODEC_FLAG_LOW_DELAY;
      if (avcodec_open2(ctx, codec, nullptr) < 0) {
        avcodec_free_context(&ctx);
        error_ = "cannot open libavcodec's H.264 decoder";
        break;
      }
      channels_[static_cast<size_t>(s * kChannelSlots + c)].context = ctx;
    }
  }
  packet_ = av_packet_alloc();
  frame_ = av_frame_alloc();
  thread_ = std::thread([this] { Run(); });
}

LiveReference::~LiveReference() {
  Finish();
  for (Channel& c : channels_) avcodec_free_context(&c.context);
  av_frame_free(&frame_);
  av_packet_free(&packet_);
  sws_freeContext(scaler_);
}

bool LiveReference::Shadows(int site, int channel) const {
  return site >= 0 && site < options_.sites && channel >= 0 && channel < kChannelSlots &&
         (site * kChannelSlots + channel) % (options_.every < 1 ? 1 : options_.every) == 0;
}

void LiveReference::OnClientPicture(int site, int channel) {
  if (!Shadows(site, channel)) return;
  std::lock_guard<std::mutex> lock(lock_);
  if (finishing_) return;
  queue_.push_back(site * kChannelSlots + channel);
  changed_.notify_one();
}

void LiveReference::Finish() {
  {
    std::lock_guard<std::mutex> lock(lock_);
    finishing_ = true;
    changed_.notify_one();
  }
  if (thread_.joinable()) thread_.join();
}

double LiveReference::CpuSeconds() const {
  const double final_s = final_cpu_s_.load();
  if (final_s >= 0) return final_s;
  return clock_ready_.load() ? ClockSeconds(clock_) : 0.0;
}

long LiveReference::Queued() {
  std::lock_guard<std::mutex> lock(lock_);
  return static_cast<long>(queue_.size());
}

void LiveReference::Run() {
  // The lowest priority for this thread alone: the client comes first.
  setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 19);
  pthread_getcpuclockid(pthread_self(), &clock_);
  clock_ready_.store(true);
  for (;;) {
    int slot;
    {
      std::unique_lock<std::mutex> lock(lock_);
      changed_.wait(lock, [&] { return finishing_ || !queue_.empty(); });
      if (queue_.empty()) break;
      slot = queue_.front();
      queue_.pop_front();
    }
    if (error_.empty()) DecodeNext(slot / kChannelSlots, slot % kChannelSlots);
  }
  final_cpu_s_.store(ClockSeconds(clock_));
}

void LiveReference::DecodeNext(int site, int channel) {
  Channel& ch = channels_[static_cast<size_t>(site * kChannelSlots + channel)];
  if (ch.context == nullptr) return;
  const mediagen::EncodedClip& clip = media_.Video(channel);
  const size_t i = ch.next++ % clip.frames.size();
  packet_->data = const_cast<uint8_t*>(clip.Data(i));
  packet_->size = static_cast<int>(clip.frames[i].data_size_bytes);
  if (avcodec_send_packet(ch.context, packet_) < 0) return;
  while (avcodec_receive_frame(ch.context, frame_) == 0) {
    if (options_.scale_width > 0 && options_.scale_height > 0) {
      if (scaler_ == nullptr || scaler_width_ != frame_->width || scaler_height_ != frame_->height) {
        sws_freeContext(scaler_);
        scaler_ = sws_getContext(frame_->width, frame_->height, static_cast<AVPixelFormat>(frame_->format),
                                 options_.scale_width, options_.scale_height, AV_PIX_FMT_BGRA, SWS_FAST_BILINEAR,
                                 nullptr, nullptr, nullptr);
        scaler_width_ = frame_->width;
        scaler_height_ = frame_->height;
        scaled_.resize(static_cast<size_t>(options_.scale_width) * options_.scale_height * 4);
      }
      uint8_t* const dst[4] = {scaled_.data(), nullptr, nullptr, nullptr};
      const int dst_stride[4] = {options_.scale_width * 4, 0, 0, 0};
      sws_scale(scaler_, frame_->data, frame_->linesize, 0, frame_->height, dst, dst_stride);
    }
    if (options_.on_picture != nullptr) {
      options_.on_picture(site, channel, frame_->data[0], frame_->linesize[0], frame_->width, frame_->height,
                          options_.on_picture_user);
    }
    pictures_.fetch_add(1);
    av_frame_unref(frame_);
  }
}
