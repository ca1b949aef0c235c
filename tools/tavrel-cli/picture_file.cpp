#include "picture_file.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {
void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void PutLe16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
uint8_t Clamp(int v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); }
}  // namespace

bool WriteYuy2AsBmp(const std::string& path, const uint8_t* yuy2, int width, int height) {
  if (width <= 0 || height <= 0 || width > 8192 || height > 8192) return false;
  const uint32_t row_bytes = (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
  const uint32_t image_bytes = row_bytes * static_cast<uint32_t>(height);
  uint8_t header[54] = {'B', 'M'};
  PutLe32(header + 2, 54 + image_bytes);
  PutLe32(header + 10, 54);
  PutLe32(header + 14, 40);
  PutLe32(header + 18, static_cast<uint32_t>(width));
  PutLe32(header + 22, static_cast<uint32_t>(height));
  PutLe16(header + 26, 1);
  PutLe16(header + 28, 24);
  PutLe32(header + 34, image_bytes);
  std::vector<uint8_t> image(image_bytes, 0);
  for (int y = 0; y < height; ++y) {
    const uint8_t* src = yuy2 + static_cast<size_t>(y) * width * 2;
    uint8_t* dst = image.data() + static_cast<size_t>(height - 1 - y) * row_bytes;  // bottom-up
    for (int x = 0; x < width; ++x) {
      const int luma = src[x * 2];
      const int u = src[(x & ~1) * 2 + 1] - 128;
      const int v = src[(x & ~1) * 2 + 3 < width * 2 ? (x & ~1) * 2 + 3 : (x & ~1) * 2 + 1] - 128;
      const int c = (luma - 16) * 298;
      dst[x * 3 + 0] = Clamp((c + 516 * u + 128) >> 8);
      dst[x * 3 + 1] = Clamp((c - 100 * u - 208 * v + 128) >> 8);
      dst[x * 3 + 2] = Clamp((c + 409 * v + 128) >> 8);
    }
  }
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = std::fwrite(header, 1, sizeof header, f) == sizeof header &&
                  std::fwrite(image.data(), 1, image.size(), f) == image.size();
  return std::fclose(f) == 0 && ok;
}
