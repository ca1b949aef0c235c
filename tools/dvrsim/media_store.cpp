#include "dvrsim/media_store.h"

#include <thread>

namespace dvrsim {
namespace {

mediagen::PictureSize SizeOf(int resolution_code) {
  switch (resolution_code) {
    case 0: return mediagen::PictureSize::kD1;
    case 1: return mediagen::PictureSize::kHalfD1;
    case 3: return mediagen::PictureSize::kQcif;
    default: return mediagen::PictureSize::kCif;
  }
}

int DefaultBitrate(int resolution_code) {
  switch (resolution_code) {
    case 0: return 2'000'000;
    case 1: return 1'000'000;
    case 3: return 128'000;
    default: return 512'000;
  }
}

}  // namespace

mediagen::ClipRecipe MediaStore::VideoRecipe(int channel) const {
  mediagen::ClipRecipe recipe;
  recipe.platform_code = config_.platform;
  recipe.size = SizeOf(config_.resolution);
  recipe.pal = config_.pal;
  recipe.channel_index = channel;
  recipe.frame_rate = config_.FrameRate();
  recipe.frame_count = config_.LoopFrames();
  recipe.gop = config_.Gop();  // the loop starts with a key picture either way
  recipe.bitrate_bps = config_.bitrate_bps > 0 ? config_.bitrate_bps : DefaultBitrate(config_.resolution);
  recipe.camera_like = config_.camera_like;
  recipe.noise_seed = static_cast<uint32_t>(channel + 1);
  return recipe;
}

const mediagen::EncodedClip& MediaStore::Video(int channel) {
  if (channel < 0 || channel >= kMaxChannels) channel = 0;
  Slot& slot = video_[static_cast<size_t>(channel)];
  std::call_once(slot.once, [&] { slot.clip = mediagen::GenerateClip(VideoRecipe(channel)); });
  return slot.clip;
}

void MediaStore::PrepareAll() {
  auto work = [this](int first) {
    for (int c = first; c < config_.channels; c += 2) {
      Video(c);
      Audio(c);
    }
  };
  std::thread other(work, 1);
  work(0);
  other.join();
}

const AudioLoop& MediaStore::Audio(int channel) {
  if (channel < 0 || channel >= kMaxChannels) channel = 0;
  AudioSlot& slot = audio_[static_cast<size_t>(channel)];
  std::call_once(slot.once, [&] { slot.loop = MakeAudioLoop(config_.AudioCodec(), channel); });
  return slot.loop;
}

}  // namespace dvrsim
