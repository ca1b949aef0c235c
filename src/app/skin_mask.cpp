#include "app/skin_mask.h"

#include <algorithm>

namespace app::skin {
namespace {

struct Run {
  int x0;
  int x1;  // one past the last pixel
  bool operator==(const Run&) const = default;
};

void RowRuns(const uint32_t* row, int width, std::vector<Run>* runs) {
  runs->clear();
  int x = 0;
  while (x < width) {
    while (x < width && (row[x] & 0xFFFFFFu) == 0xFFFFFFu) ++x;
    if (x == width) break;
    const int start = x;
    while (x < width && (row[x] & 0xFFFFFFu) != 0xFFFFFFu) ++x;
    runs->push_back({start, x});
  }
}

}  // namespace

std::vector<MaskRect> MaskRects(const uint32_t* pixels, int width, int height, int stride) {
  std::vector<MaskRect> out;
  if (pixels == nullptr || width <= 0 || height <= 0 || stride < width) return out;
  // Runs of the rows above that are still growing downwards, with the row
  // where they started.
  std::vector<Run> open;
  int open_since = 0;
  std::vector<Run> runs;
  auto close_open = [&](int y_end) {
    for (const Run& r : open) out.push_back({r.x0, open_since, r.x1 - r.x0, y_end - open_since});
    open.clear();
  };
  for (int y = 0; y < height; ++y) {
    RowRuns(pixels + static_cast<size_t>(y) * static_cast<size_t>(stride), width, &runs);
    if (runs != open) {
      close_open(y);
      open = runs;
      open_since = y;
    }
  }
  close_open(height);
  return out;
}

std::array<Slice, 3> ThreeSlices(int src_w, int src_h, int dst_w) {
  std::array<Slice, 3> s{};
  if (src_w <= 0 || src_h <= 0 || dst_w <= 0) return s;
  const int left = std::min(src_h, src_w / 2);
  const int right = std::min(src_h / 2, src_w - left);
  const int middle = src_w - left - right;
  s[0] = {0, left, 0, left};
  s[1] = {left, middle, left, 0};
  s[2] = {left + middle, right, 0, right};
  if (dst_w >= left + right) {
    s[1].dst_w = dst_w - left - right;
  } else {
    // Too narrow for the ends: shrink both in proportion.
    const int ends = left + right;
    s[0].dst_w = static_cast<int>(static_cast<long long>(left) * dst_w / std::max(ends, 1));
    s[2].dst_w = dst_w - s[0].dst_w;
  }
  s[1].dst_x = s[0].dst_w;
  s[2].dst_x = s[1].dst_x + s[1].dst_w;
  return s;
}

int MapColumn(const std::array<Slice, 3>& slices, int x) {
  for (const Slice& s : slices) {
    if (x >= s.src_x && x < s.src_x + s.src_w) {
      return s.dst_x + static_cast<int>(static_cast<long long>(x - s.src_x) * s.dst_w / s.src_w);
    }
  }
  const Slice& last = slices[2];
  return x <= 0 ? 0 : last.dst_x + last.dst_w;
}

}  // namespace app::skin
