// CDvrView: the video grid. Up to 64 channel panes in square layouts of 1,
// 4, 9, 16, 25, 36 or 64, with paging, zoom, selection, event borders,
// overlay texts and click notifications. Stream and playback threads hand
// pictures to ShowPicture, which stretches them into their pane of the back
// surface under the grid's lock and asks the window to repaint the changed
// rectangle; everything else runs on the user-interface thread. Works
// without any window (offscreen): the window is an interface the ui layer
// implements.
#pragma once
#include <QPoint>
#include <QRect>

#include <atomic>
#include <cstdint>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sites/picture_sink.h"
#include "view/channel_view.h"
#include "view/view_overlay.h"
#include "view/view_surfaces.h"

class QImage;
class QPainter;

// Notifications of the grid to its owner.
inline constexpr int kViewNotifyDoubleClick = 0x8064;  // wparam: split count << 16 | channel (0xFFFF none)
inline constexpr int kViewNotifyClick = 0x8065;        // wparam: selected pane identifier << 16
// lparam of both: x | y << 16 in back-surface coordinates.
using ViewNotify = void (*)(int message, uint32_t wparam, uint32_t lparam, void* user);

// The text shown for a split count the grid has no layout for.
inline constexpr const char* kNoSuchSplitText = "해당 분활 모드 없음!";

// The primary surface: the window that shows the grid.
class IViewWindow {
 public:
  virtual ~IViewWindow() = default;
  // Any thread, possibly under the grid's lock: repaint this rectangle of
  // the back surface soon. Must not wait for the user-interface thread.
  virtual void PresentRect(const QRect& back_rect) = 0;
  // Any thread, as above: repaint the whole window soon.
  virtual void InvalidateAll() = 0;
  // The rest: user-interface thread, never under the grid's lock (placing
  // the window sends it events whose handlers call back into the grid).
  // The client area's size.
  virtual QSize ClientSize() const = 0;
  // Moves and sizes the window inside its parent.
  virtual void PlaceWindow(const QRect& geometry) = 0;
  // The monitor the window is on.
  virtual bool CurrentMonitor(MonitorInfo* monitor) const = 0;
};

// A copy of a channel's last picture and what a snapshot shows with it.
struct CachedPictureCopy {
  int channel = -1;
  int second_word = -1;
  int width = 0;
  int height = 0;
  std::vector<uint8_t> data;
  std::string title;
  std::tm frame_time{};
};

class CDvrView : public IPictureSink {
 public:
  static constexpr int kMaxPanes = 64;
  static constexpr int kPaneObjects = 100;

  CDvrView();
  // Waits for the threads already inside ShowPicture or an overlay setter;
  // the sites must have let go of the grid before it is destroyed.
  ~CDvrView() override;
  CDvrView(const CDvrView&) = delete;
  CDvrView& operator=(const CDvrView&) = delete;

  // Set-up (user-interface thread). Until SetClientOrigin the client area's
  // origin is the monitor's top-left corner.
  void SetWindow(IViewWindow* window);
  // Where the client area's origin is on the virtual desktop; the window
  // tells on every move.
  void SetClientOrigin(const QPoint& screen);
  // Fixes the monitor instead of asking the window or the primary screen.
  void UseMonitor(const MonitorInfo& monitor);
  // Builds or rebuilds the surfaces for the window's monitor, then lays the
  // panes out on them and redraws their last pictures; remembers the
  // notification callback when one is given. 1, or -1 when no surface could
  // be made (drawing then does nothing).
  int InitSurfaces(ViewNotify notify = nullptr, void* user = nullptr);
  // The display changed: the surfaces are rebuilt, the panes laid out and
  // their pictures redrawn on the next paint.
  void MarkSurfacesLost() { surfaces_lost_.store(true); }

  // Layout (user-interface thread). SetLargeLayout places the window, so it
  // must not be called with the grid's lock held (nothing outside the grid
  // can hold it).
  void SetVideoArea(int left, int top, int right, int bottom);
  void SetLargeLayout(int on);
  void SetChannelCount(int count);
  void SetGridMode(int mode);
  void SetSplit(int count, int start, const uint8_t* channel_list = nullptr);
  void ShowPage(int count, int start);
  void ZoomToChannel(int channel);
  void SelectChannel(int channel);
  void SetEventBorder(int channel, int kind, int on);
  void ClearChannel(int channel, int repaint);
  void ClearAll();
  void Relayout();
  void RedrawCached();
  // Pane rectangles of a layout in back-surface coordinates; false (after
  // the notice) for a count without a layout.
  bool ComputePaneRects(int count, std::vector<QRect>* rects);

  // Overlay values (any thread).
  void SetTitle(int channel, const char* text);
  void SetSource(int channel, const char* text);
  void SetLabel(int channel, const char* text);
  void SetFrameTime(int channel, const std::tm& time);
  void SetBitRate(int channel, int bytes_per_second);
  void SetFrameRateValue(int channel, int frames_per_second);
  // For channels 0..15 at once, and only in grid modes 1 and 2.
  void SetSpeedCode(int code);
  void SetOsdFlags(int flags);
  void SetSelectedOnly(bool on);

  std::string Title(int channel);
  std::tm FrameTime(int channel);
  int SelectedChannel();
  // In grid mode 3 the second word of the selected channel's cached
  // picture, else the selected channel.
  int SelectedPaneId();
  int OsdFlags();
  int SplitCount();
  int PageStart();
  bool ZoomMode();
  int ChannelCount();
  int GridMode();
  bool HasVideo(int channel);
  // The channel at each shown position (-1 for none).
  std::vector<int> ShownChannels();
  // A pane's rectangle in back-surface coordinates (empty when not shown).
  QRect PaneRect(int channel);
  // Back-surface coordinates of a client-area point.
  QPoint ClientToBack(const QPoint& client);

  // Pictures (any thread): 0 when accepted, non-zero when dropped.
  int ShowPicture(const PictureRecord& picture);
  // A copy of the channel's last shown picture, taken under the grid's lock.
  bool CopyCachedPicture(int channel, CachedPictureCopy* copy);

  // Mouse (user-interface thread), in client coordinates.
  void OnLeftClick(const QPoint& client);
  void OnLeftDoubleClick(const QPoint& client);
  // Paints the dirty client rectangle of the window from the back surface.
  void Paint(QPainter& window_painter, const QRect& client_dirty);
  // A copy of the back surface, for checks.
  QImage BackSurfaceCopy();
  bool SurfacesReady();
  QSize BackSurfaceSize();
  // Calls from other threads inside the grid right now (for checks).
  int CallsInFlight() const { return calls_in_flight_.load(); }

  // IPictureSink: the site engine's channel indexes 0..15.
  bool IsSuspended() override { return suspended_.load(); }
  int SoleChannel() override;
  uint16_t PaneChannelMask() override;
  void SetRate(int channel, int bytes_per_second) override { SetBitRate(channel, bytes_per_second); }
  void SetFrameRate(int channel, int frames_per_second) override { SetFrameRateValue(channel, frames_per_second); }
  void SetChannelTime(int channel, const std::tm& time) override { SetFrameTime(channel, time); }
  void ShowPicture(int channel, int width, int height, int size_bytes, const uint8_t* pixels) override;
  void SetChannelName(int channel, const char* name) override { SetLabel(channel, name); }
  // While suspended the site hands nothing to the grid.
  void SetSuspended(bool on) { suspended_.store(on); }

 private:
  struct CacheEntry {
    bool present = false;
    int channel = -1;
    int second_word = -1;
    int width = 0;
    int height = 0;
    int size_bytes = 0;
    std::vector<uint8_t> data;
  };

  // Counts a call from another thread for the destructor to wait for;
  // open() is false once the grid is being destroyed.
  class CallScope {
   public:
    explicit CallScope(CDvrView& view);
    ~CallScope();
    CallScope(const CallScope&) = delete;
    CallScope& operator=(const CallScope&) = delete;
    bool open() const { return open_; }

   private:
    CDvrView& view_;
    bool open_ = false;
  };

  static bool SplitCountSupported(int count);
  static int CellsPerSide(int count);
  bool ValidChannel(int channel) const { return channel >= 0 && channel < channel_count_ && channel < kMaxPanes; }
  QPoint ClientToBackLocked(const QPoint& client) const;
  void PaneRectsLocked(int count, std::vector<QRect>* rects) const;
  // Shows positions 0..count-1: list entries when given, else layout table
  // entries from start on.
  void LayoutLocked(int count, int start, const int* channels);
  void LayoutAndRedraw(int count, int start, const int* channels);
  // The window's monitor (or the primary screen's), asked without the lock;
  // false when the monitor is fixed or unknown.
  bool QueryMonitor(MonitorInfo* monitor);
  // Rebuilds the surfaces for the fixed monitor, else for *queried (none:
  // -1, no surfaces).
  int RebuildSurfacesLocked(const MonitorInfo* queried);
  void RelayoutLocked();
  void ClearPaneLocked(int channel);
  void RedrawCachedLocked();
  void DrawCachedLocked(int channel, bool black_fill);
  void PresentLocked(const QRect& back_rect);
  void InvalidateLocked();
  int ChannelAtLocked(const QPoint& back) const;
  void LeaveZoom();
  void Notify(int message, uint32_t wparam, uint32_t lparam);
  static uint32_t PointWord(const QPoint& p) {
    return (static_cast<uint32_t>(p.x()) & 0xFFFFu) | ((static_cast<uint32_t>(p.y()) & 0xFFFFu) << 16);
  }

  std::mutex lock_;
  IViewWindow* window_ = nullptr;
  ViewNotify notify_ = nullptr;
  void* notify_user_ = nullptr;
  bool fixed_monitor_ = false;
  MonitorInfo monitor_;
  QPoint monitor_offset_;
  bool origin_known_ = false;
  QPoint client_origin_;

  int grid_mode_ = 0;
  int channel_count_ = 16;
  CViewSurfaces surfaces_;
  std::unique_ptr<CViewOverlay> overlay_;
  std::unique_ptr<CChannelView> panes_[kPaneObjects];
  CChannelView* shown_[kMaxPanes] = {};
  int layout_[kMaxPanes];
  int positions_[kMaxPanes];  // channel at each shown position, -1 for none
  CacheEntry cache_[kMaxPanes];
  QRect video_area_;  // client coordinates, right and bottom exclusive as in QRect
  std::atomic<int> layout_busy_{0};
  int split_count_ = 0;
  int osd_flags_ = kOsdDefault;
  int selected_ = -1;
  int event_channel_ = -1;
  int event_kind_ = -1;
  int event_on_ = -1;
  int page_start_ = 0;
  bool video_present_[kMaxPanes] = {};
  bool zoom_mode_ = false;
  int saved_page_start_ = 0;
  int saved_split_count_ = 16;
  bool zoom_return_ = false;
  bool selected_only_ = false;

  std::atomic<bool> surfaces_lost_{false};
  std::atomic<int> calls_in_flight_{0};
  std::atomic<bool> closing_{false};
  std::atomic<bool> suspended_{false};
};
