#include "view/channel_view.h"

#include <QPainter>

#include <langinfo.h>
#include <strings.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "view/view_surfaces.h"

size_t TextCutLength(const char* text, size_t limit) {
  if (text == nullptr) return 0;
  const size_t length = strnlen(text, limit + 1);
  if (length <= limit) return length;
  // Too long: keep whole characters only. Texts are in the system code page.
  // UTF-8 is walked by its lead bytes, and so is plain ASCII (the "C"
  // locale), where the overlay shows the bytes as UTF-8; another multibyte
  // page is walked with the C library; a single-byte page is cut anywhere.
  const char* codeset = ::nl_langinfo(CODESET);
  const bool utf8 = codeset == nullptr || codeset[0] == '\0' || strcasecmp(codeset, "UTF-8") == 0 ||
                    strcasecmp(codeset, "UTF8") == 0 || strcasecmp(codeset, "ANSI_X3.4-1968") == 0;
  if (!utf8 && MB_CUR_MAX == 1) return limit;
  size_t cut = 0;
  if (!utf8) {
    std::mbstate_t state{};
    while (cut < limit) {
      const size_t n = std::mbrlen(text + cut, limit - cut, &state);
      // Invalid or cut short: stop before it.
      if (n == 0 || n == static_cast<size_t>(-1) || n == static_cast<size_t>(-2)) break;
      cut += n;
    }
    return cut;
  }
  while (cut < limit) {
    const auto lead = static_cast<unsigned char>(text[cut]);
    size_t n = 1;
    if (lead >= 0xF0 && lead <= 0xF7) {
      n = 4;
    } else if (lead >= 0xE0) {
      n = lead <= 0xEF ? 3 : 1;
    } else if (lead >= 0xC0) {
      n = 2;
    }
    if (cut + n > limit) break;
    cut += n;
  }
  return cut;
}

void CChannelView::CopyText(char (&to)[kPaneTextBytes], const char* from) {
  std::memset(to, 0, sizeof to);
  const size_t n = TextCutLength(from, sizeof to - 1);
  if (n > 0) std::memcpy(to, from, n);
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
