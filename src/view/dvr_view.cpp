#include "view/dvr_view.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QScreen>

#include <algorithm>
#include <cstring>
#include <optional>

#include "platform/notice.h"

namespace {

// Sets the layout-busy word for the life of a layout change, so that picture
// threads return at once instead of waiting for the lock.
class BusyScope {
 public:
  explicit BusyScope(std::atomic<int>& word) : word_(word) { word_.store(1); }
  ~BusyScope() { word_.store(0); }

 private:
  std::atomic<int>& word_;
};

}  // namespace

CDvrView::CDvrView() : overlay_(std::make_unique<CViewOverlay>()) {
  for (int i = 0; i < kPaneObjects; ++i) {
    panes_[i] = std::make_unique<CChannelView>();
    panes_[i]->channel = i < kMaxPanes ? i : -1;
  }
  for (int i = 0; i < kMaxPanes; ++i) {
    layout_[i] = i;
    positions_[i] = -1;
  }
}

CDvrView::~CDvrView() {
  // Threads already inside ShowPicture or a setter finish first; new ones
  // turn back at the door.
  closing_.store(true);
  for (int n = calls_in_flight_.load(); n != 0; n = calls_in_flight_.load()) calls_in_flight_.wait(n);
  std::lock_guard<std::mutex> lock(lock_);
  surfaces_.Release();
  window_ = nullptr;
}

CDvrView::CallScope::CallScope(CDvrView& view) : view_(view) {
  view_.calls_in_flight_.fetch_add(1);
  open_ = !view_.closing_.load();
}

CDvrView::CallScope::~CallScope() {
  // Both sides use sequentially consistent operations: either this call sees
  // the closing flag, or the destructor sees this call in flight and waits.
  if (view_.calls_in_flight_.fetch_sub(1) == 1 && view_.closing_.load()) view_.calls_in_flight_.notify_all();
}

// ---- set-up -----------------------------------------------------------------

void CDvrView::SetWindow(IViewWindow* window) {
  std::lock_guard<std::mutex> lock(lock_);
  window_ = window;
}

void CDvrView::SetClientOrigin(const QPoint& screen) {
  std::lock_guard<std::mutex> lock(lock_);
  client_origin_ = screen;
  origin_known_ = true;
}

void CDvrView::UseMonitor(const MonitorInfo& monitor) {
  std::lock_guard<std::mutex> lock(lock_);
  monitor_ = monitor;
  fixed_monitor_ = true;
}

int CDvrView::InitSurfaces(ViewNotify notify, void* user) {
  MonitorInfo monitor;
  const bool known = QueryMonitor(&monitor);
  BusyScope busy(layout_busy_);
  std::lock_guard<std::mutex> lock(lock_);
  if (notify != nullptr) {
    notify_ = notify;
    notify_user_ = user;
  }
  const int result = RebuildSurfacesLocked(known ? &monitor : nullptr);
  // New surfaces are black and the monitor may have moved: the panes are
  // laid out again and their last pictures drawn.
  if (result == 1) RelayoutLocked();
  return result;
}

bool CDvrView::QueryMonitor(MonitorInfo* monitor) {
  IViewWindow* window;
  {
    std::lock_guard<std::mutex> lock(lock_);
    if (fixed_monitor_) return false;
    window = window_;
  }
  // Asked without the grid's lock: the window may need it to answer. The
  // window is only set and cleared on this (the user-interface) thread.
  if (window != nullptr && window->CurrentMonitor(monitor)) return true;
  if (QGuiApplication::instance() == nullptr) return false;
  QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return false;
  monitor->rect = screen->geometry();
  monitor->work = screen->availableGeometry();
  monitor->primary = true;
  monitor->device_name = screen->name().toStdString();
  return true;
}

int CDvrView::RebuildSurfacesLocked(const MonitorInfo* queried) {
  surfaces_.Release();
  surfaces_lost_.store(false);
  if (!fixed_monitor_) {
    if (queried == nullptr) return -1;
    monitor_ = *queried;
  }
  monitor_offset_ = -monitor_.rect.topLeft();
  return surfaces_.Create(monitor_.rect.size()) ? 1 : -1;
}

// ---- coordinates and rectangles ----------------------------------------------

bool CDvrView::SplitCountSupported(int count) { return CellsPerSide(count) > 0; }

int CDvrView::CellsPerSide(int count) {
  switch (count) {
    case 1: return 1;
    case 4: return 2;
    case 9: return 3;
    case 16: return 4;
    case 25: return 5;
    case 36: return 6;
    case 64: return 8;
    default: return 0;
  }
}

QPoint CDvrView::ClientToBackLocked(const QPoint& client) const {
  const QPoint origin = origin_known_ ? client_origin_ : monitor_.rect.topLeft();
  return client + origin + monitor_offset_;
}

QPoint CDvrView::ClientToBack(const QPoint& client) {
  std::lock_guard<std::mutex> lock(lock_);
  return ClientToBackLocked(client);
}

void CDvrView::PaneRectsLocked(int count, std::vector<QRect>* rects) const {
  rects->clear();
  const int n = CellsPerSide(count);
  if (n == 0) return;
  const QRect area = video_area_.translated(ClientToBackLocked(QPoint(0, 0)));
  const int cell_w = area.width() / n;
  const int cell_h = area.height() / n;
  for (int i = 0; i < count; ++i) {
    rects->emplace_back(area.left() + (i % n) * cell_w, area.top() + (i / n) * cell_h, cell_w, cell_h);
  }
}

bool CDvrView::ComputePaneRects(int count, std::vector<QRect>* rects) {
  if (!SplitCountSupported(count)) {
    platform::ShowNotice(kNoSuchSplitText);
    return false;
  }
  std::lock_guard<std::mutex> lock(lock_);
  PaneRectsLocked(count, rects);
  return true;
}

// ---- layout -------------------------------------------------------------------

void CDvrView::SetVideoArea(int left, int top, int right, int bottom) {
  std::lock_guard<std::mutex> lock(lock_);
  video_area_ = QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

void CDvrView::SetLargeLayout(int on) {
  QRect geometry;
  IViewWindow* window;
  {
    std::lock_guard<std::mutex> lock(lock_);
    geometry = on != 0 ? QRect(0, 29, monitor_.rect.width(), std::max(0, monitor_.rect.height() - 29))
                       : QRect(22, 33, 728, 500);
    window = window_;
  }
  // Placing the window sends it move and resize events whose handlers call
  // back into the grid, so this runs without the lock.
  QSize size = geometry.size();
  if (window != nullptr) {
    window->PlaceWindow(geometry);
    size = window->ClientSize();
  }
  {
    std::lock_guard<std::mutex> lock(lock_);
    video_area_ = QRect(QPoint(0, 0), size);
  }
  Relayout();
}

void CDvrView::SetChannelCount(int count) {
  if (count < 1 || count > kMaxPanes) return;
  std::lock_guard<std::mutex> lock(lock_);
  channel_count_ = count;
}

void CDvrView::SetGridMode(int mode) {
  std::lock_guard<std::mutex> lock(lock_);
  grid_mode_ = mode;
}

void CDvrView::LeaveZoom() {
  std::lock_guard<std::mutex> lock(lock_);
  if (zoom_mode_) {
    zoom_mode_ = false;
    zoom_return_ = true;
  }
}

void CDvrView::LayoutLocked(int count, int start, const int* channels) {
  if (count == 8) count = 9;
  std::vector<QRect> rects;
  PaneRectsLocked(count, &rects);
  if (rects.empty()) return;
  split_count_ = count;
  for (int i = 0; i < kMaxPanes; ++i) {
    panes_[i]->selected = false;
    panes_[i]->rect = QRect();
    shown_[i] = nullptr;
    positions_[i] = -1;
  }
  for (int i = 0; i < count; ++i) {
    int channel = -1;
    if (channels != nullptr) {
      channel = channels[i];
    } else if (start + i >= 0 && start + i < kMaxPanes) {
      channel = layout_[start + i];
    }
    if (channel < 0 || channel >= kMaxPanes) continue;
    CChannelView& pane = *panes_[channel];
    pane.selected = channel == selected_;
    pane.rect = rects[static_cast<size_t>(i)];
    pane.font_rect = pane.rect;
    pane.font = overlay_->FontForRect(pane.rect);
    shown_[channel] = &pane;
    positions_[i] = channel;
  }
  page_start_ = start;
  ClearPaneLocked(-1);
  RedrawCachedLocked();
}

void CDvrView::LayoutAndRedraw(int count, int start, const int* channels) {
  BusyScope busy(layout_busy_);
  std::lock_guard<std::mutex> lock(lock_);
  LayoutLocked(count, start, channels);
}

void CDvrView::SetSplit(int count, int start, const uint8_t* channel_list) {
  if (count <= 0) return;
  if (!SplitCountSupported(count == 8 ? 9 : count)) {
    platform::ShowNotice(kNoSuchSplitText);
    return;
  }
  LeaveZoom();
  const int channel_count = ChannelCount();
  if (start >= channel_count || start < 0) {
    start = 0;
  } else if (count != 1 && start + count >= channel_count - 1) {
    start = std::max(0, channel_count - count);
  }
  int list[kMaxPanes];
  const int shown = count == 8 ? 9 : count;
  if (channel_list != nullptr) {
    // Entries past the grid's 64 panes are left empty.
    for (int i = 0; i < shown; ++i) list[i] = i < count && channel_list[i] < kMaxPanes ? channel_list[i] : -1;
  }
  LayoutAndRedraw(count, start, channel_list != nullptr ? list : nullptr);
}

void CDvrView::ShowPage(int count, int start) {
  if (count <= 0) return;
  // 8 stands for the 3 x 3 layout here as in SetSplit.
  if (count == 8) count = 9;
  if (!SplitCountSupported(count)) {
    platform::ShowNotice(kNoSuchSplitText);
    return;
  }
  LeaveZoom();
  {
    std::lock_guard<std::mutex> lock(lock_);
    const int channel_count = channel_count_;
    const int pages = (channel_count + count - 1) / count;
    for (int tries = 0; tries <= pages; ++tries) {
      if (start >= channel_count || start < 0) {
        start = 0;
      } else if (start + split_count_ >= channel_count) {
        start = std::max(0, channel_count - split_count_);
      }
      bool any_video = false;
      for (int pos = start; pos < start + count && pos < kMaxPanes; ++pos) {
        if (video_present_[layout_[pos]]) any_video = true;
      }
      if (any_video) break;
      start = start + 2 * count <= channel_count ? start + count : 0;
    }
    if (start == page_start_ && count == split_count_) return;
  }
  LayoutAndRedraw(count, start, nullptr);
}

void CDvrView::ZoomToChannel(int channel) {
  {
    BusyScope busy(layout_busy_);
    std::lock_guard<std::mutex> lock(lock_);
    if (!ValidChannel(channel)) return;
    if (zoom_mode_ && split_count_ == 1 && positions_[0] == channel) return;
    if (split_count_ != 1) {
      saved_page_start_ = page_start_;
      saved_split_count_ = split_count_;
    }
    zoom_mode_ = true;
    const int list[1] = {channel};
    LayoutLocked(1, channel, list);
  }
  SelectChannel(channel);
}

void CDvrView::Relayout() {
  BusyScope busy(layout_busy_);
  std::lock_guard<std::mutex> lock(lock_);
  RelayoutLocked();
}

void CDvrView::RelayoutLocked() {
  if (split_count_ == 0) return;
  int channels[kMaxPanes];
  std::copy(positions_, positions_ + kMaxPanes, channels);
  LayoutLocked(split_count_, page_start_, channels);
}

void CDvrView::RedrawCached() {
  std::lock_guard<std::mutex> lock(lock_);
  RedrawCachedLocked();
}

// ---- drawing ------------------------------------------------------------------

void CDvrView::PresentLocked(const QRect& back_rect) {
  if (window_ != nullptr && !back_rect.isEmpty()) window_->PresentRect(back_rect);
}

void CDvrView::InvalidateLocked() {
  if (window_ != nullptr) window_->InvalidateAll();
}

void CDvrView::ClearPaneLocked(int channel) {
  if (channel < 0) {
    surfaces_.FillBack(surfaces_.Back().rect());
    InvalidateLocked();
    return;
  }
  if (channel >= kMaxPanes || panes_[channel]->rect.isEmpty()) return;
  const QRect r = panes_[channel]->rect.adjusted(1, 1, -1, -1);
  surfaces_.FillBack(r);
  PresentLocked(panes_[channel]->rect);
}

void CDvrView::DrawCachedLocked(int channel, bool black_fill) {
  const CacheEntry& c = cache_[channel];
  CChannelView& pane = *panes_[channel];
  PictureRecord record{c.channel, c.second_word, c.width, c.height, c.size_bytes, c.data.data()};
  const QRect area = video_area_.translated(ClientToBackLocked(QPoint(0, 0)));
  PresentLocked(pane.Drawing().DrawPicture(surfaces_, *overlay_, record, osd_flags_, black_fill, split_count_, area));
}

void CDvrView::RedrawCachedLocked() {
  for (int i = 0; i < split_count_ && i < kMaxPanes; ++i) {
    const int channel = positions_[i];
    if (channel < 0 || !video_present_[channel]) continue;
    CChannelView& pane = *panes_[channel];
    pane.font = overlay_->FontForRect(pane.rect);
    if (!cache_[channel].present) {
      video_present_[channel] = false;
      continue;
    }
    DrawCachedLocked(channel, zoom_return_);
  }
  InvalidateLocked();
}

int CDvrView::ShowPicture(const PictureRecord& picture) {
  CallScope call(*this);
  if (!call.open()) return -1;
  if (const int busy = layout_busy_.load()) return busy;
  if (picture.channel < 0 || picture.channel >= kMaxPanes || picture.data == nullptr || picture.width < 1 ||
      picture.width > kPictureSurfaceWidth || picture.height < 1 || picture.height > kPictureSurfaceHeight ||
      picture.size_bytes != picture.width * picture.height * 2) {
    return -1;
  }
  std::lock_guard<std::mutex> lock(lock_);
  const int channel = picture.channel;
  video_present_[channel] = true;
  if (selected_only_ && channel != selected_) return 0;
  CChannelView* pane = shown_[channel];
  if (pane == nullptr || pane->channel != channel) return 0;
  const QRect area = video_area_.translated(ClientToBackLocked(QPoint(0, 0)));
  PresentLocked(pane->Drawing().DrawPicture(surfaces_, *overlay_, picture, osd_flags_, true, split_count_, area));
  CacheEntry& c = cache_[channel];
  if (c.data.capacity() < static_cast<size_t>(kPictureSurfaceWidth) * kPictureSurfaceHeight * 2) {
    c.data.reserve(static_cast<size_t>(kPictureSurfaceWidth) * kPictureSurfaceHeight * 2);
  }
  c.data.assign(picture.data, picture.data + picture.size_bytes);
  c.present = true;
  c.channel = picture.channel;
  c.second_word = picture.second_word;
  c.width = picture.width;
  c.height = picture.height;
  c.size_bytes = picture.size_bytes;
  return 0;
}

void CDvrView::ShowPicture(int channel, int width, int height, int size_bytes, const uint8_t* pixels) {
  ShowPicture(PictureRecord{channel, channel, width, height, size_bytes, pixels});
}

bool CDvrView::CopyCachedPicture(int channel, CachedPictureCopy* copy) {
  std::lock_guard<std::mutex> lock(lock_);
  if (channel < 0 || channel >= kMaxPanes || !cache_[channel].present) return false;
  const CacheEntry& c = cache_[channel];
  copy->channel = c.channel;
  copy->second_word = c.second_word;
  copy->width = c.width;
  copy->height = c.height;
  copy->data.assign(c.data.begin(), c.data.end());
  copy->title = panes_[channel]->title;
  copy->frame_time = panes_[channel]->frame_time;
  return true;
}

// ---- selection and borders ------------------------------------------------------

void CDvrView::SelectChannel(int channel) {
  std::lock_guard<std::mutex> lock(lock_);
  if (!ValidChannel(channel) || channel == selected_) return;
  const int previous = selected_;
  const bool ready = surfaces_.Ready();
  QPainter p;
  if (ready) p.begin(&surfaces_.Back());
  if (previous >= 0) {
    CChannelView& old = *panes_[previous];
    old.selected = false;
    if (shown_[previous] != nullptr && ready) {
      overlay_->DrawSelection(p, old.rect, false);
      if (event_channel_ == previous && old.event_on) overlay_->DrawEventBorder(p, old.rect, true, old.event_kind);
      PresentLocked(old.rect);
    }
  }
  CChannelView& now = *panes_[channel];
  now.selected = true;
  if (shown_[channel] != nullptr && ready) {
    overlay_->DrawSelection(p, now.rect, true);
    if (event_channel_ == channel && now.event_on) overlay_->DrawEventBorder(p, now.rect, true, now.event_kind);
    PresentLocked(now.rect);
  }
  if (ready) p.end();
  if (previous >= 0 && shown_[previous] != nullptr && video_present_[previous] && cache_[previous].present) {
    DrawCachedLocked(previous, zoom_return_);
  }
  selected_ = channel;
}

void CDvrView::SetEventBorder(int channel, int kind, int on) {
  std::lock_guard<std::mutex> lock(lock_);
  if (!ValidChannel(channel)) return;
  if (channel == event_channel_ && kind == event_kind_ && on == event_on_) return;
  const bool ready = surfaces_.Ready();
  QPainter p;
  if (ready) p.begin(&surfaces_.Back());
  if (event_channel_ >= 0) {
    CChannelView& old = *panes_[event_channel_];
    old.event_on = false;
    if (shown_[event_channel_] != nullptr && ready) {
      overlay_->DrawSelection(p, old.rect, old.selected);
      PresentLocked(old.rect);
    }
  }
  CChannelView& now = *panes_[channel];
  now.event_on = on != 0;
  now.event_kind = kind;
  if (shown_[channel] != nullptr && ready) {
    if (on != 0) {
      overlay_->DrawEventBorder(p, now.rect, true, kind);
    } else {
      overlay_->DrawSelection(p, now.rect, now.selected);
    }
    PresentLocked(now.rect);
  }
  event_channel_ = channel;
  event_kind_ = kind;
  event_on_ = on;
}

// ---- clearing ---------------------------------------------------------------------

void CDvrView::ClearChannel(int channel, int repaint) {
  std::lock_guard<std::mutex> lock(lock_);
  if (!ValidChannel(channel)) return;
  if (!cache_[channel].present) {
    InvalidateLocked();
    return;
  }
  CChannelView& pane = *panes_[channel];
  video_present_[channel] = false;
  pane.ClearTexts();
  cache_[channel] = CacheEntry{};
  if (selected_ == channel) {
    pane.selected = false;
    selected_ = -1;
  }
  if (event_channel_ == channel) {
    pane.event_on = false;
    event_channel_ = event_kind_ = event_on_ = -1;
  }
  ClearPaneLocked(channel);
  if (repaint == 1) InvalidateLocked();
}

void CDvrView::ClearAll() {
  std::lock_guard<std::mutex> lock(lock_);
  selected_only_ = false;
  for (int i = 0; i < kMaxPanes; ++i) {
    video_present_[i] = false;
    CChannelView& pane = *panes_[i];
    pane.selected = false;
    pane.event_on = false;
    pane.ClearTexts();
    cache_[i] = CacheEntry{};
  }
  selected_ = -1;
  event_channel_ = event_kind_ = event_on_ = -1;
  ClearPaneLocked(-1);
}

// ---- overlay values -----------------------------------------------------------------

void CDvrView::SetTitle(int channel, const char* text) {
  if (channel < 0 || channel >= kMaxPanes) return;
  CallScope call(*this);
  if (!call.open()) return;
  std::lock_guard<std::mutex> lock(lock_);
  CChannelView::CopyText(panes_[channel]->title, text);
}

void CDvrView::SetSource(int channel, const char* text) {
  if (channel < 0 || channel >= kMaxPanes) return;
  CallScope call(*this);
  if (!call.open()) return;
  std::lock_guard<std::mutex> lock(lock_);
  CChannelView::CopyText(panes_[channel]->source, text);
}

void CDvrView::SetLabel(int channel, const char* text) {
  if (channel < 0 || channel >= kMaxPanes) return;
  CallScope call(*this);
  if (!call.open()) return;
  std::lock_guard<std::mutex> lock(lock_);
  CChannelView::CopyText(panes_[channel]->label, text);
}

void CDvrView::SetFrameTime(int channel, const std::tm& time) {
  if (channel < 0 || channel >= kMaxPanes) return;
  CallScope call(*this);
  if (!call.open()) return;
  std::lock_guard<std::mutex> lock(lock_);
  panes_[channel]->frame_time = time;
}

void CDvrView::SetBitRate(int channel, int bytes_per_second) {
  if (channel < 0 || channel >= kMaxPanes) return;
  CallScope call(*this);
  if (!call.open()) return;
  std::lock_guard<std::mutex> lock(lock_);
  panes_[channel]->bit_rate = bytes_per_second;
}

void CDvrView::SetFrameRateValue(int channel, int frames_per_second) {
  if (channel < 0 || channel >= kMaxPanes) return;
  CallScope call(*this);
  if (!call.open()) return;
  std::lock_guard<std::mutex> lock(lock_);
  panes_[channel]->frame_rate = frames_per_second;
}

void CDvrView::SetSpeedCode(int code) {
  std::lock_guard<std::mutex> lock(lock_);
  if (grid_mode_ != 1 && grid_mode_ != 2) return;
  for (int i = 0; i < 16; ++i) panes_[i]->speed_code = code;
}

void CDvrView::SetOsdFlags(int flags) {
  std::lock_guard<std::mutex> lock(lock_);
  osd_flags_ = flags;
}

void CDvrView::SetSelectedOnly(bool on) {
  std::lock_guard<std::mutex> lock(lock_);
  selected_only_ = on;
}

// ---- getters -------------------------------------------------------------------------

std::string CDvrView::Title(int channel) {
  if (channel < 0 || channel >= kMaxPanes) return {};
  std::lock_guard<std::mutex> lock(lock_);
  return panes_[channel]->title;
}

std::tm CDvrView::FrameTime(int channel) {
  if (channel < 0 || channel >= kMaxPanes) return {};
  std::lock_guard<std::mutex> lock(lock_);
  return panes_[channel]->frame_time;
}

int CDvrView::SelectedChannel() {
  std::lock_guard<std::mutex> lock(lock_);
  return selected_;
}

int CDvrView::SelectedPaneId() {
  std::lock_guard<std::mutex> lock(lock_);
  if (grid_mode_ == 3 && selected_ >= 0) return cache_[selected_].second_word;
  return selected_;
}

int CDvrView::OsdFlags() {
  std::lock_guard<std::mutex> lock(lock_);
  return osd_flags_;
}

int CDvrView::SplitCount() {
  std::lock_guard<std::mutex> lock(lock_);
  return split_count_;
}

int CDvrView::PageStart() {
  std::lock_guard<std::mutex> lock(lock_);
  return page_start_;
}

bool CDvrView::ZoomMode() {
  std::lock_guard<std::mutex> lock(lock_);
  return zoom_mode_;
}

int CDvrView::ChannelCount() {
  std::lock_guard<std::mutex> lock(lock_);
  return channel_count_;
}

int CDvrView::GridMode() {
  std::lock_guard<std::mutex> lock(lock_);
  return grid_mode_;
}

bool CDvrView::HasVideo(int channel) {
  if (channel < 0 || channel >= kMaxPanes) return false;
  std::lock_guard<std::mutex> lock(lock_);
  return video_present_[channel];
}

std::vector<int> CDvrView::ShownChannels() {
  std::lock_guard<std::mutex> lock(lock_);
  return std::vector<int>(positions_, positions_ + std::min(split_count_, kMaxPanes));
}

QRect CDvrView::PaneRect(int channel) {
  if (channel < 0 || channel >= kMaxPanes) return {};
  std::lock_guard<std::mutex> lock(lock_);
  return shown_[channel] != nullptr ? panes_[channel]->rect : QRect();
}

QImage CDvrView::BackSurfaceCopy() {
  std::lock_guard<std::mutex> lock(lock_);
  return surfaces_.Back().copy();
}

bool CDvrView::SurfacesReady() {
  std::lock_guard<std::mutex> lock(lock_);
  return surfaces_.Ready();
}

QSize CDvrView::BackSurfaceSize() {
  std::lock_guard<std::mutex> lock(lock_);
  return surfaces_.Back().size();
}

int CDvrView::SoleChannel() {
  CallScope call(*this);
  if (!call.open()) return -1;
  std::lock_guard<std::mutex> lock(lock_);
  return split_count_ == 1 ? positions_[0] : -1;
}

uint16_t CDvrView::PaneChannelMask() {
  CallScope call(*this);
  if (!call.open()) return 0;
  std::lock_guard<std::mutex> lock(lock_);
  uint16_t mask = 0;
  for (int i = 0; i < split_count_ && i < kMaxPanes; ++i) {
    if (positions_[i] >= 0 && positions_[i] < 16) mask = static_cast<uint16_t>(mask | (1u << positions_[i]));
  }
  return mask;
}

// ---- mouse and paint -----------------------------------------------------------------

int CDvrView::ChannelAtLocked(const QPoint& back) const {
  for (int i = 0; i < split_count_ && i < kMaxPanes; ++i) {
    const int channel = positions_[i];
    if (channel >= 0 && panes_[channel]->rect.contains(back)) return channel;
  }
  return -1;
}

void CDvrView::Notify(int message, uint32_t wparam, uint32_t lparam) {
  ViewNotify notify;
  void* user;
  {
    std::lock_guard<std::mutex> lock(lock_);
    notify = notify_;
    user = notify_user_;
  }
  if (notify != nullptr) notify(message, wparam, lparam, user);
}

void CDvrView::OnLeftClick(const QPoint& client) {
  int channel;
  QPoint back;
  {
    std::lock_guard<std::mutex> lock(lock_);
    if (zoom_mode_) return;
    back = ClientToBackLocked(client);
    channel = ChannelAtLocked(back);
    if (channel < 0 || !video_present_[channel]) return;
  }
  SelectChannel(channel);
  Notify(kViewNotifyClick, static_cast<uint32_t>(SelectedPaneId() & 0xFFFF) << 16, PointWord(back));
}

void CDvrView::OnLeftDoubleClick(const QPoint& client) {
  QPoint back;
  bool to_full = false;
  int split = 0;
  int channel = -1;
  bool zoomed = false;
  {
    std::lock_guard<std::mutex> lock(lock_);
    back = ClientToBackLocked(client);
    zoomed = zoom_mode_;
    if (split_count_ == 1 && !zoom_mode_) {
      to_full = true;
    } else {
      if (!zoom_mode_) channel = ChannelAtLocked(back);
      split = split_count_;
      if (!zoom_mode_ && (channel < 0 || !video_present_[channel])) {
        split = -split - 1;  // notify only
      }
    }
  }
  if (to_full) {
    {
      BusyScope busy(layout_busy_);
      std::lock_guard<std::mutex> lock(lock_);
      int count = channel_count_;
      if (count == 8) count = 9;
      if (!SplitCountSupported(count)) count = count <= 4 ? 4 : (count <= 9 ? 9 : (count <= 16 ? 16 : 64));
      LayoutLocked(count, 0, nullptr);
      split = split_count_;
    }
    Notify(kViewNotifyDoubleClick, static_cast<uint32_t>(split & 0xFFFF) << 16 | 0xFFFFu, PointWord(back));
    return;
  }
  const bool notify_only = split < 0;
  if (notify_only) split = -split - 1;
  Notify(kViewNotifyDoubleClick,
         static_cast<uint32_t>(split & 0xFFFF) << 16 | (channel < 0 ? 0xFFFFu : static_cast<uint32_t>(channel)),
         PointWord(back));
  if (notify_only) return;
  BusyScope busy(layout_busy_);
  std::lock_guard<std::mutex> lock(lock_);
  if (zoomed || split_count_ == 1) {
    zoom_mode_ = false;
    zoom_return_ = true;
    int restored = SplitCountSupported(saved_split_count_) ? saved_split_count_ : 16;
    LayoutLocked(restored, saved_page_start_, nullptr);
  } else {
    saved_page_start_ = page_start_;
    saved_split_count_ = split_count_;
    zoom_mode_ = true;
    const int list[1] = {channel};
    LayoutLocked(1, channel, list);
  }
}

void CDvrView::Paint(QPainter& window_painter, const QRect& client_dirty) {
  // A display change lost the surfaces: rebuild them for the monitor as it
  // is now, lay the panes out on them and draw the last pictures again.
  const bool lost = surfaces_lost_.load();
  MonitorInfo monitor;
  const bool known = lost && QueryMonitor(&monitor);
  std::optional<BusyScope> busy;
  if (lost) busy.emplace(layout_busy_);
  std::lock_guard<std::mutex> lock(lock_);
  if (lost && RebuildSurfacesLocked(known ? &monitor : nullptr) == 1) RelayoutLocked();
  if (!surfaces_.Ready()) {
    window_painter.fillRect(client_dirty, Qt::black);
    return;
  }
  {
    QPainter p(&surfaces_.Back());
    for (int i = 0; i < split_count_ && i < kMaxPanes; ++i) {
      const int channel = positions_[i];
      if (channel < 0 || video_present_[channel]) continue;
      const CChannelView& pane = *panes_[channel];
      overlay_->DrawEmptyFrame(p, pane.rect);
      overlay_->DrawChannelNumber(p, pane.rect, pane.font, channel);
    }
  }
  const QPoint to_back = ClientToBackLocked(QPoint(0, 0));
  const QRect source = client_dirty.translated(to_back);
  const QRect inside = source.intersected(surfaces_.Back().rect());
  if (inside != source) window_painter.fillRect(client_dirty, Qt::black);
  if (!inside.isEmpty()) window_painter.drawImage(inside.translated(-to_back), surfaces_.Back(), inside);
}
