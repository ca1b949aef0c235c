// Picture drawing shared by RenderPicture and the clip encoder.
#pragma once
#include <cstdint>
#include <vector>

#include "mediagen/mediagen.h"

namespace mediagen {

// State of the camera-like mode that lives for a whole clip: a periodic
// texture the camera pans over, and the noise generator.
class CameraScene {
 public:
  CameraScene(int width, int height, uint32_t seed);
  // Fills out with the panned texture plus sensor noise for picture i.
  void Draw(int picture_index, const PlanarPicture& out);

 private:
  int width_, height_;
  std::vector<uint8_t> texture_y_, texture_u_, texture_v_;
  uint64_t noise_state_;
  int8_t noise_table_[256];
};

// Draws everything but the background: moving objects (camera-like),
// the interlace box, the bar, the channel number, the clock and counter.
void DrawForeground(const ClipRecipe& recipe, int width, int height, int picture_index, uint32_t capture_time,
                    const PlanarPicture& out);

// Fills the plain background: the channel's colour field with a soft
// vertical luma ramp.
void DrawPlainBackground(int channel_index, int width, int height, const PlanarPicture& out);

}  // namespace mediagen
