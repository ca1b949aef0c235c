#include "view/view_surfaces.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

CViewSurfaces::~CViewSurfaces() { Release(); }

bool CViewSurfaces::Create(const QSize& monitor_size) {
  Release();
  if (monitor_size.width() <= 0 || monitor_size.height() <= 0) return false;
  QImage back(monitor_size, QImage::Format_RGB32);
  if (back.isNull()) return false;
  back.fill(Qt::black);
  back_ = std::move(back);
  picture_.assign(static_cast<size_t>(kPicturePitch) * kPictureSurfaceHeight, 0);
  return true;
}

void CViewSurfaces::Release() {
  for (ScaleEntry& e : contexts_) sws_freeContext(e.ctx);
  contexts_.clear();
  back_ = QImage();
  picture_.clear();
  picture_.shrink_to_fit();
}

bool CViewSurfaces::LoadPicture(const uint8_t* yuy2, int width, int height) {
  if (!Ready() || yuy2 == nullptr || width <= 0 || height <= 0 || width > kPictureSurfaceWidth ||
      height > kPictureSurfaceHeight) {
    return false;
  }
  const size_t row = static_cast<size_t>(width) * 2;
  for (int y = 0; y < height; ++y) {
    std::memcpy(picture_.data() + static_cast<size_t>(y) * kPicturePitch, yuy2 + y * row, row);
  }
  return true;
}

SwsContext* CViewSurfaces::ContextFor(int src_w, int src_h, int dst_w, int dst_h) {
  ++use_clock_;
  for (ScaleEntry& e : contexts_) {
    if (e.src_w == src_w && e.src_h == src_h && e.dst_w == dst_w && e.dst_h == dst_h) {
      e.last_use = use_clock_;
      return e.ctx;
    }
  }
  // Fast bilinear: the quality of a display's stretch blit at a fraction of
  // the full filter's cost, which matters at 64 panes.
  SwsContext* ctx = sws_getContext(src_w, src_h, AV_PIX_FMT_YUYV422, dst_w, dst_h, AV_PIX_FMT_BGRA,
                                   SWS_FAST_BILINEAR, nullptr, nullptr, nullptr);
  if (ctx == nullptr) return nullptr;
  if (contexts_.size() >= kMaxContexts) {
    auto oldest = std::min_element(contexts_.begin(), contexts_.end(),
                                   [](const ScaleEntry& a, const ScaleEntry& b) { return a.last_use < b.last_use; });
    sws_freeContext(oldest->ctx);
    contexts_.erase(oldest);
  }
  contexts_.push_back({src_w, src_h, dst_w, dst_h, ctx, use_clock_});
  return ctx;
}

bool CViewSurfaces::StretchToBack(int width, int height, const QRect& dest) {
  if (!Ready() || width <= 0 || height <= 0 || width > kPictureSurfaceWidth || height > kPictureSurfaceHeight ||
      dest.isEmpty() || !back_.rect().contains(dest)) {
    return false;
  }
  SwsContext* ctx = ContextFor(width, height, dest.width(), dest.height());
  if (ctx == nullptr) return false;
  const uint8_t* const src[4] = {picture_.data(), nullptr, nullptr, nullptr};
  const int src_stride[4] = {kPicturePitch, 0, 0, 0};
  const int scratch_pitch = ((dest.width() + 16) * 4 + 63) & ~63;
  const size_t need = static_cast<size_t>(scratch_pitch) * (dest.height() + 2) + 64;
  if (scratch_.size() < need) scratch_.resize(need);
  uint8_t* const base = scratch_.data() + (64 - reinterpret_cast<uintptr_t>(scratch_.data()) % 64) % 64;
  uint8_t* const dst[4] = {base, nullptr, nullptr, nullptr};
  const int dst_stride[4] = {scratch_pitch, 0, 0, 0};
  if (sws_scale(ctx, src, src_stride, 0, height, dst, dst_stride) != dest.height()) return false;
  const int pitch = static_cast<int>(back_.bytesPerLine());
  uint8_t* out = back_.bits() + static_cast<ptrdiff_t>(dest.top()) * pitch + dest.left() * 4;
  const size_t row = static_cast<size_t>(dest.width()) * 4;
  for (int y = 0; y < dest.height(); ++y) std::memcpy(out + static_cast<ptrdiff_t>(y) * pitch, base + static_cast<size_t>(y) * scratch_pitch, row);
  return true;
}

void CViewSurfaces::FillBack(const QRect& r) {
  if (back_.isNull()) return;
  const QRect c = r.intersected(back_.rect());
  if (c.isEmpty()) return;
  const int pitch = static_cast<int>(back_.bytesPerLine());
  for (int y = c.top(); y <= c.bottom(); ++y) {
    auto* row = reinterpret_cast<uint32_t*>(back_.bits() + static_cast<ptrdiff_t>(y) * pitch) + c.left();
    std::fill(row, row + c.width(), 0xFF000000u);
  }
}
