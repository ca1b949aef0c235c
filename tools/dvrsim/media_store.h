// The simulator's media: one short pre-encoded loop of video per channel in
// the platform's codec, made on first use and replayed by every live
// connection with fresh headers, so that many channels cost little CPU.
#pragma once
#include <array>
#include <memory>
#include <mutex>

#include "dvrsim/audio_media.h"
#include "dvrsim/sim_config.h"
#include "mediagen/mediagen.h"

namespace dvrsim {

class MediaStore {
 public:
  explicit MediaStore(const SimConfig& config) : config_(config) {}

  // The channel's video loop (channel index 0..15), encoded on the first
  // call; later calls return the same clip. Thread-safe. A clip whose
  // encoding failed has ok() false.
  const mediagen::EncodedClip& Video(int channel);

  mediagen::ClipRecipe VideoRecipe(int channel) const;

  // Encodes every channel's loops now, on two threads.
  void PrepareAll();

  // One second of the channel's tone in the configured audio codec.
  const AudioLoop& Audio(int channel);

 private:
  struct AudioSlot {
    std::once_flag once;
    AudioLoop loop;
  };
  struct Slot {
    std::once_flag once;
    mediagen::EncodedClip clip;
  };
  const SimConfig& config_;
  std::array<Slot, kMaxChannels> video_;
  std::array<AudioSlot, kMaxChannels> audio_;
};

}  // namespace dvrsim
