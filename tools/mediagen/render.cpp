#include "mediagen/render.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace mediagen {
namespace {

struct Yuv {
  uint8_t y, u, v;
};

uint8_t Clamp8(int v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// BT.601 limited range, as the encoders expect.
Yuv FromRgb(int r, int g, int b) {
  const int y = 16 + ((66 * r + 129 * g + 25 * b + 128) >> 8);
  const int u = 128 + ((-38 * r - 74 * g + 112 * b + 128) >> 8);
  const int v = 128 + ((112 * r - 94 * g - 18 * b + 128) >> 8);
  return {Clamp8(y), Clamp8(u), Clamp8(v)};
}

// One colour field per channel: sixteen hues that stay apart on screen.
constexpr uint8_t kChannelRgb[16][3] = {
    {200, 40, 40},  {40, 160, 40},  {40, 60, 200},  {200, 180, 40}, {160, 40, 160}, {40, 170, 170},
    {220, 120, 30}, {110, 60, 30},  {120, 120, 120}, {90, 200, 120}, {60, 110, 220}, {230, 110, 150},
    {150, 150, 40}, {40, 90, 90},   {170, 100, 220}, {80, 80, 150},
};

// 5 x 7 digits and a colon, one byte per row, bit 4 = leftmost column.
constexpr uint8_t kGlyphs[11][7] = {
    {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}, {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E},
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}, {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E},
    {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}, {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E},
    {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}, {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},
    {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}, {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C},
    {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00},
};
constexpr int kGlyphW = 5, kGlyphH = 7;

// Fills a rectangle in luma coordinates, clipped to the picture; chroma
// covers the 2 x 2 blocks the rectangle touches.
void FillRect(const PlanarPicture& p, int width, int height, int x0, int y0, int w, int h, Yuv c) {
  const int x1 = std::min(width, x0 + w), y1 = std::min(height, y0 + h);
  x0 = std::max(0, x0);
  y0 = std::max(0, y0);
  if (x0 >= x1 || y0 >= y1) return;
  for (int y = y0; y < y1; ++y) std::memset(p.y + static_cast<ptrdiff_t>(y) * p.y_pitch + x0, c.y, x1 - x0);
  const int cx0 = x0 / 2, cx1 = (x1 + 1) / 2, cy0 = y0 / 2, cy1 = (y1 + 1) / 2;
  for (int y = cy0; y < cy1; ++y) {
    std::memset(p.u + static_cast<ptrdiff_t>(y) * p.uv_pitch + cx0, c.u, cx1 - cx0);
    std::memset(p.v + static_cast<ptrdiff_t>(y) * p.uv_pitch + cx0, c.v, cx1 - cx0);
  }
}

int GlyphIndex(char ch) { return ch == ':' ? 10 : ch - '0'; }

// Text of digits and colons, each glyph cell (kGlyphW + 1) * scale wide.
int TextWidth(const char* text, int scale) { return static_cast<int>(std::strlen(text)) * (kGlyphW + 1) * scale; }

void DrawText(const PlanarPicture& p, int width, int height, const char* text, int x, int y, int scale, Yuv ink) {
  for (const char* c = text; *c; ++c, x += (kGlyphW + 1) * scale) {
    const uint8_t* glyph = kGlyphs[GlyphIndex(*c)];
    for (int row = 0; row < kGlyphH; ++row) {
      for (int col = 0; col < kGlyphW; ++col) {
        if (glyph[row] & (0x10 >> col)) FillRect(p, width, height, x + col * scale, y + row * scale, scale, scale, ink);
      }
    }
  }
}

// Text on a dark box with a margin of one scale unit.
void DrawLabel(const PlanarPicture& p, int width, int height, const char* text, int x, int y, int scale) {
  FillRect(p, width, height, x - scale, y - scale, TextWidth(text, scale) + scale, (kGlyphH + 2) * scale,
           Yuv{16, 128, 128});
  DrawText(p, width, height, text, x, y, scale, Yuv{235, 128, 128});
}

int EvenDown(int v) { return v & ~1; }

}  // namespace

void DrawPlainBackground(int channel_index, int width, int height, const PlanarPicture& p) {
  const uint8_t* rgb = kChannelRgb[channel_index & 15];
  const Yuv base = FromRgb(rgb[0], rgb[1], rgb[2]);
  for (int y = 0; y < height; ++y) {
    // A soft ramp of +-12 luma levels from top to bottom.
    const uint8_t level = Clamp8(base.y - 12 + (24 * y) / std::max(1, height - 1));
    std::memset(p.y + static_cast<ptrdiff_t>(y) * p.y_pitch, level, width);
  }
  for (int y = 0; y < (height + 1) / 2; ++y) {
    std::memset(p.u + static_cast<ptrdiff_t>(y) * p.uv_pitch, base.u, (width + 1) / 2);
    std::memset(p.v + static_cast<ptrdiff_t>(y) * p.uv_pitch, base.v, (width + 1) / 2);
  }
}

void DrawForeground(const ClipRecipe& recipe, int width, int height, int i, uint32_t capture_time, const PlanarPicture& p) {
  if (recipe.camera_like) {
    // Three objects crossing the scene at their own speeds.
    const struct {
      int speed_x, speed_y, w_div, h_div;
      Yuv colour;
    } objects[] = {
        {5, 1, 8, 5, Yuv{180, 110, 150}},
        {-3, 2, 12, 8, Yuv{60, 150, 120}},
        {2, -1, 6, 10, Yuv{140, 128, 100}},
    };
    for (const auto& o : objects) {
      const int w = width / o.w_div, h = height / o.h_div;
      const int span_x = width + w, span_y = height + h;
      const int x = ((i * o.speed_x) % span_x + span_x) % span_x - w;
      const int y = ((i * o.speed_y + height / 3) % span_y + span_y) % span_y - h;
      FillRect(p, width, height, x, y, w, h, o.colour);
    }
  }

  if (recipe.interlace_artifact) {
    // Even lines dark, odd lines bright: what a fast object looks like
    // when the two fields of a frame were captured at different moments.
    const int x0 = EvenDown(width / 8), y0 = EvenDown(height / 8);
    const int w = EvenDown(width / 4), h = EvenDown(height / 4);
    for (int y = y0; y < y0 + h && y < height; ++y) {
      std::memset(p.y + static_cast<ptrdiff_t>(y) * p.y_pitch + x0, (y & 1) ? 200 : 40, std::min(w, width - x0));
    }
  }

  // The moving bar.
  const int bar_w = std::max(8, EvenDown(width / 24));
  const int step = std::max(2, EvenDown(width / 90));
  const int bar_x = static_cast<int>((static_cast<int64_t>(i) * step) % width);
  FillRect(p, width, height, bar_x, 0, bar_w, height, Yuv{235, 128, 128});
  if (bar_x + bar_w > width) FillRect(p, width, height, 0, 0, bar_x + bar_w - width, height, Yuv{235, 128, 128});

  // The channel number, a quarter of the picture tall, in the centre.
  char text[32];
  std::snprintf(text, sizeof text, "%d", (recipe.channel_index & 15) + 1);
  const int big = std::max(1, height / (4 * kGlyphH));
  DrawText(p, width, height, text, (width - TextWidth(text, big)) / 2, (height - kGlyphH * big) / 2, big,
           Yuv{235, 128, 128});

  // Capture clock at the top left, frame counter at the bottom left.
  const int small = std::max(1, height / 96);
  const time_t t = static_cast<time_t>(capture_time);
  struct tm tm_utc;
  gmtime_r(&t, &tm_utc);
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", tm_utc.tm_hour, tm_utc.tm_min, tm_utc.tm_sec);
  DrawLabel(p, width, height, text, 2 * small, 2 * small, small);
  std::snprintf(text, sizeof text, "%06d", i % 1000000);
  DrawLabel(p, width, height, text, 2 * small, height - (kGlyphH + 2) * small, small);
}

CameraScene::CameraScene(int width, int height, uint32_t seed)
    : width_(width),
      height_(height),
      texture_y_(static_cast<size_t>(width) * height),
      texture_u_(static_cast<size_t>((width + 1) / 2) * ((height + 1) / 2)),
      texture_v_(texture_u_.size()),
      noise_state_(0x9E3779B97F4A7C15ull ^ seed) {
  // Periodic across the width, so the pan can wrap around.
  constexpr double kTau = 6.283185307179586;
  uint64_t speckle = 0x2545F4914F6CDD1Dull ^ (uint64_t{seed} << 17);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const double fx = static_cast<double>(x) / width, fy = static_cast<double>(y) / height;
      speckle ^= speckle << 13;
      speckle ^= speckle >> 7;
      speckle ^= speckle << 17;
      const double v = 115 + 45 * std::sin(kTau * (3 * fx + 0.3 * fy)) * std::cos(kTau * 2 * fy) +
                       20 * std::sin(kTau * (17 * fx) + 9 * fy) + static_cast<int>(speckle % 21) - 10;
      texture_y_[static_cast<size_t>(y) * width + x] = Clamp8(static_cast<int>(v));
    }
  }
  const int cw = (width + 1) / 2, ch = (height + 1) / 2;
  for (int y = 0; y < ch; ++y) {
    for (int x = 0; x < cw; ++x) {
      const double fx = static_cast<double>(x) / cw, fy = static_cast<double>(y) / ch;
      texture_u_[static_cast<size_t>(y) * cw + x] = Clamp8(static_cast<int>(128 + 18 * std::sin(kTau * (2 * fx + fy))));
      texture_v_[static_cast<size_t>(y) * cw + x] = Clamp8(static_cast<int>(128 + 14 * std::cos(kTau * (fx - 2 * fy))));
    }
  }
  // Roughly Gaussian noise (sum of two uniform values), sigma about 2.5.
  for (int b = 0; b < 256; ++b) noise_table_[b] = static_cast<int8_t>((b & 15) + (b >> 4) - 15) / 2;
}

void CameraScene::Draw(int i, const PlanarPicture& p) {
  auto next = [this] {
    noise_state_ ^= noise_state_ << 13;
    noise_state_ ^= noise_state_ >> 7;
    noise_state_ ^= noise_state_ << 17;
    return noise_state_;
  };
  // The camera pans two pixels per picture.
  const int pan = static_cast<int>((static_cast<int64_t>(i) * 2) % width_);
  for (int y = 0; y < height_; ++y) {
    const uint8_t* src = texture_y_.data() + static_cast<size_t>(y) * width_;
    uint8_t* dst = p.y + static_cast<ptrdiff_t>(y) * p.y_pitch;
    std::memcpy(dst, src + pan, width_ - pan);
    std::memcpy(dst + (width_ - pan), src, pan);
    for (int x = 0; x < width_; x += 8) {
      uint64_t r = next();
      for (int k = 0; k < 8 && x + k < width_; ++k, r >>= 8) dst[x + k] = Clamp8(dst[x + k] + noise_table_[r & 0xFF]);
    }
  }
  const int cw = (width_ + 1) / 2, ch = (height_ + 1) / 2, cpan = pan / 2;
  for (int y = 0; y < ch; ++y) {
    for (int plane = 0; plane < 2; ++plane) {
      const uint8_t* src = (plane ? texture_v_ : texture_u_).data() + static_cast<size_t>(y) * cw;
      uint8_t* dst = (plane ? p.v : p.u) + static_cast<ptrdiff_t>(y) * p.uv_pitch;
      std::memcpy(dst, src + cpan, cw - cpan);
      std::memcpy(dst + (cw - cpan), src, cpan);
      for (int x = 0; x < cw; x += 8) {
        uint64_t r = next();
        for (int k = 0; k < 8 && x + k < cw; ++k, r >>= 8) dst[x + k] = Clamp8(dst[x + k] + noise_table_[r & 0xFF] / 2);
      }
    }
  }
}

void RenderPicture(const ClipRecipe& recipe, int picture_index, uint32_t capture_time, const PlanarPicture& out) {
  const Dimensions d = PictureDimensions(recipe);
  DrawPlainBackground(recipe.channel_index, d.width, d.height, out);
  ClipRecipe plain = recipe;
  plain.camera_like = false;
  DrawForeground(plain, d.width, d.height, picture_index, capture_time, out);
}

}  // namespace mediagen
