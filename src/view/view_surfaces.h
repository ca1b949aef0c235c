// The grid's drawing surfaces: the picture surface (720 x 576 YUY2, where a
// picture is staged), the back surface (RGB32, the size of the grid's
// monitor, where pictures are stretched, overlays drawn and borders kept)
// and the stretch-blit between them with colour conversion and scaling.
// The primary surface is the grid's window (IViewWindow), which paints the
// changed rectangles of the back surface. Not thread-safe: the grid calls
// it under its lock.
#pragma once
#include <QImage>
#include <QRect>

#include <cstdint>
#include <string>
#include <vector>

struct SwsContext;

// The monitor a grid lives on, in virtual-desktop coordinates.
struct MonitorInfo {
  QRect rect;
  QRect work;
  bool primary = true;
  std::string device_name = "DISPLAY";
};

inline constexpr int kPictureSurfaceWidth = 720;
inline constexpr int kPictureSurfaceHeight = 576;

class CViewSurfaces {
 public:
  CViewSurfaces() = default;
  ~CViewSurfaces();
  CViewSurfaces(const CViewSurfaces&) = delete;
  CViewSurfaces& operator=(const CViewSurfaces&) = delete;

  // Builds the picture surface and a black back surface of the monitor's
  // size. False (and no surfaces) when either cannot be made.
  bool Create(const QSize& monitor_size);
  void Release();
  bool Ready() const { return !back_.isNull() && !picture_.empty(); }

  QImage& Back() { return back_; }
  const QImage& Back() const { return back_; }

  // Copies a YUY2 picture (rows of width * 2 bytes) into the picture surface.
  bool LoadPicture(const uint8_t* yuy2, int width, int height);
  // Scales the picture surface's (0, 0, width, height) into dest of the back
  // surface with conversion to RGB32. dest must lie on the back surface.
  bool StretchToBack(int width, int height, const QRect& dest);
  // Black over r (clipped to the back surface).
  void FillBack(const QRect& r);

 private:
  struct ScaleEntry {
    int src_w = 0, src_h = 0, dst_w = 0, dst_h = 0;
    SwsContext* ctx = nullptr;
    uint64_t last_use = 0;
  };
  // swscale's packed-RGB output may write a few pixels past the width it
  // was given, so it scales into this padded buffer and the rows are copied
  // into the pane; otherwise it would paint over the neighbouring pane.
  std::vector<uint8_t> scratch_;
  SwsContext* ContextFor(int src_w, int src_h, int dst_w, int dst_h);

  static constexpr int kPicturePitch = kPictureSurfaceWidth * 2;
  static constexpr size_t kMaxContexts = 16;

  std::vector<uint8_t> picture_;
  QImage back_;
  std::vector<ScaleEntry> contexts_;
  uint64_t use_clock_ = 0;
};
