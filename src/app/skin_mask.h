// Geometry of skinned controls that needs no Qt: the shape a mask bitmap
// gives a button, and how a bitmap is cut when it is stretched with its ends
// kept at their size.
#pragma once
#include <array>
#include <cstdint>
#include <vector>

namespace app::skin {

struct MaskRect {
  int x = 0;
  int y = 0;
  int w = 0;
  int h = 0;
};

// The rectangles covering every pixel of a mask that is not white, where a
// pixel is 0xAARRGGBB (alpha ignored) and white is 0xFFFFFF. Rows with the
// same runs are merged into one taller rectangle. stride is the distance
// between rows in pixels. Nothing for an empty or inconsistent image.
std::vector<MaskRect> MaskRects(const uint32_t* pixels, int width, int height, int stride);

// One horizontal piece of a three-slice stretch: source columns
// [src_x, src_x + src_w) are drawn into destination columns [dst_x, dst_x + dst_w).
struct Slice {
  int src_x = 0;
  int src_w = 0;
  int dst_x = 0;
  int dst_w = 0;
};

// The three pieces that stretch a src_w x src_h bitmap to dst_w: the left end
// (as wide as the bitmap is high, at most half of it) and the right end (half
// the height) keep their width and only the middle is stretched. When dst_w
// is narrower than both ends they shrink in proportion and the middle
// vanishes. Widths are never negative; all pieces are empty when either
// width is not positive.
std::array<Slice, 3> ThreeSlices(int src_w, int src_h, int dst_w);

// Where source column x lands in the destination under the slices.
int MapColumn(const std::array<Slice, 3>& slices, int x);

}  // namespace app::skin
