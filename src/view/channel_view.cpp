#include "view/channel_view.h"

#include <QPainter>

#include <cstring>

#include "view/view_surfaces.h"

void CChannelView::CopyText(char (&to)[kPaneTextBytes], const char* from) {
  std::memset(to, 0, sizeof to);
  if (from != nullptr) std::strncpy(to, from, sizeof to - 1);
}

void CChannelView::ClearTexts() {
  std::memset(title, 0, sizeof title);
  std::memset(source, 0, sizeof source);
  std::memset(label, 0, sizeof label);
  frame_time = std::tm{};
}

PaneOverlayValues CChannelView::OverlayValues() const {
  PaneOverlayValues v;
  v.channel = channel;
  v.selected = selected;
  v.event_on = event_on;
  v.event_kind = event_kind;
  v.title = title;
  v.source = source;
  v.label = label;
  v.frame_time = frame_time;
  v.bit_rate = bit_rate;
  v.frame_rate = frame_rate;
  v.speed_code = speed_code;
  return v;
}

QRect CPaneDrawing::DrawPicture(CViewSurfaces& surfaces, const CViewOverlay& overlay, const PictureRecord& picture,
                                int osd_flags, bool black_fill, int split_count, const QRect& video_area_back) const {
  const QRect pane = pane_.rect;
  if (pane.width() < 3 || pane.height() < 3 || !surfaces.Ready()) return {};
  const QRect dest = pane.adjusted(1, 1, -1, -1).intersected(surfaces.Back().rect());
  if (dest.isEmpty() || !surfaces.LoadPicture(picture.data, picture.width, picture.height)) return {};
  QRect changed = pane;
  if (black_fill && split_count == 1) {
    // Everything of the video area but the picture itself goes black.
    const QRect area = video_area_back.intersected(surfaces.Back().rect());
    surfaces.FillBack(QRect(area.left(), area.top(), area.width(), dest.top() - area.top()));
    surfaces.FillBack(QRect(QPoint(area.left(), dest.bottom() + 1), area.bottomRight()));
    surfaces.FillBack(QRect(QPoint(area.left(), dest.top()), QPoint(dest.left() - 1, dest.bottom())));
    surfaces.FillBack(QRect(QPoint(dest.right() + 1, dest.top()), QPoint(area.right(), dest.bottom())));
    changed = changed.united(area);
  }
  if (!surfaces.StretchToBack(picture.width, picture.height, dest)) return {};
  pane_.picture_width = picture.width;
  pane_.picture_height = picture.height;
  QPainter p(&surfaces.Back());
  overlay.DrawOverlay(p, pane, pane_.font, osd_flags, pane_.OverlayValues());
  return changed.intersected(surfaces.Back().rect());
}
