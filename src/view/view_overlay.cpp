#include "view/view_overlay.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QPainter>

#include <algorithm>
#include <cstdio>

namespace {

constexpr const char* kFaceName = "Chicago";
// Point sizes of the ten fonts; the pixel height is size * 100 / 85, rounded.
constexpr int kFontSizes[CViewOverlay::kFontCount] = {5, 6, 7, 8, 9, 10, 13, 15, 17, 24};

int MulDivRound(int a, int b, int c) { return static_cast<int>((static_cast<long long>(a) * b * 2 + c) / (2LL * c)); }

}  // namespace

std::string FormatFirstLine(int osd_flags, const PaneOverlayValues& v) {
  std::string line;
  char buf[64];
  if (osd_flags & kOsdChannelNumber) {
    std::snprintf(buf, sizeof buf, "%2d", v.channel + 1);
    line += buf;
  }
  if ((osd_flags & kOsdTitle) && v.title != nullptr && v.title[0] != '\0') {
    line += ' ';
    line += v.title;
  }
  if ((osd_flags & kOsdSource) && v.source != nullptr && v.source[0] != '\0') {
    line += '(';
    line += v.source;
    line += ')';
  }
  if ((osd_flags & kOsdLabel) && v.label != nullptr && v.label[0] != '\0') {
    if (!line.empty()) line += ':';
    line += v.label;
  }
  return line;
}

std::string FormatRateText(int frame_rate, int bit_rate) {
  if (bit_rate == -1) return {};
  char buf[64];
  std::snprintf(buf, sizeof buf, "%d Fps/%d KBPS", frame_rate, static_cast<int>(static_cast<long long>(bit_rate) * 8 / 1024));
  return buf;
}

std::string FormatDateText(int osd_flags, const std::tm& t) {
  const int format = osd_flags & kOsdDateMask;
  if (format == 0 || t.tm_year == -1 || t.tm_year == 0) return {};
  const int month = t.tm_mon + 1;
  const int year = t.tm_year + 1900;
  char buf[80];
  if (format == kOsdDateMonthFirst) {
    std::snprintf(buf, sizeof buf, "%02d/%02d/%04d %02d:%02d:%02d", month, t.tm_mday, year, t.tm_hour, t.tm_min, t.tm_sec);
  } else if (format == kOsdDateDayFirst) {
    std::snprintf(buf, sizeof buf, "%02d/%02d/%04d %02d:%02d:%02d", t.tm_mday, month, year, t.tm_hour, t.tm_min, t.tm_sec);
  } else {
    std::snprintf(buf, sizeof buf, "%04d/%02d/%02d %02d:%02d:%02d", year, month, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
  }
  return buf;
}

const char* SpeedLabel(int speed_code) {
  static constexpr const char* kLabels[13] = {"",     "-8X", "-32X", "-128X", "8X",  "32X", "128X",
                                              "-16X", "-32X", "-64X", "16X",   "32X", "64X"};
  return speed_code >= 1 && speed_code <= 12 ? kLabels[speed_code] : "";
}

CViewOverlay::CViewOverlay() {
  // Bold "Chicago" where installed, else the system's bold sans-serif face.
  QFont probe(kFaceName);
  probe.setStyleHint(QFont::SansSerif);
  QString family = kFaceName;
  if (!QFontInfo(probe).exactMatch()) {
    QFont sans;
    sans.setStyleHint(QFont::SansSerif);
    sans.setFamily(QString());
    family = QFontInfo(sans).family();
    if (family.isEmpty()) family = QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
  }
  for (int i = 0; i < kFontCount; ++i) {
    QFont f(family);
    f.setStyleHint(QFont::SansSerif);
    f.setWeight(QFont::Bold);
    f.setPixelSize(MulDivRound(kFontSizes[i], 100, 85));
    fonts_[i] = f;
  }
}

int CViewOverlay::FontIndexForRect(const QRect& pane) {
  static constexpr int kLimits[kFontCount - 1] = {30, 50, 80, 120, 160, 200, 240, 300, 400};
  const int side = std::min(pane.width(), pane.height());
  for (int i = 0; i < kFontCount - 1; ++i) {
    if (side < kLimits[i]) return i;
  }
  return kFontCount - 1;
}

QColor CViewOverlay::EventColour(int kind) {
  switch (kind) {
    case 0: return QColor(205, 205, 0);
    case 1: return QColor(0, 0, 255);
    case 2: return QColor(205, 205, 205);
    case 3: return QColor(0, 0, 0);
    case 4: return QColor(0, 255, 0);
    default: return PlainColour();
  }
}

void CViewOverlay::DrawFrame(QPainter& p, int left, int top, int right, int bottom, const QColor& colour) {
  const int w = right - left;
  const int h = bottom - top;
  if (w <= 0 || h <= 0) return;
  const int t = std::min({kPenWidth, w, h});
  p.fillRect(left, top, w, t, colour);
  p.fillRect(left, bottom - t, w, t, colour);
  p.fillRect(left, top, t, h, colour);
  p.fillRect(right - t, top, t, h, colour);
}

void CViewOverlay::DrawEmptyFrame(QPainter& p, const QRect& pane) const {
  DrawFrame(p, pane.left() - 1, pane.top() - 1, pane.right() + 2, pane.bottom() + 1, EmptyPaneColour());
}

void CViewOverlay::DrawSelection(QPainter& p, const QRect& pane, bool selected) const {
  DrawFrame(p, pane.left() + 1, pane.top() + 1, pane.right(), pane.bottom(),
            selected ? SelectionColour() : PlainColour());
}

void CViewOverlay::DrawEventBorder(QPainter& p, const QRect& pane, bool on, int kind) const {
  DrawFrame(p, pane.left() + 1, pane.top() + 1, pane.right(), pane.bottom(), on ? EventColour(kind) : PlainColour());
}

void CViewOverlay::DrawOverlay(QPainter& p, const QRect& pane, const QFont& font, int osd_flags,
                               const PaneOverlayValues& v) const {
  DrawEmptyFrame(p, pane);
  if (v.selected) DrawSelection(p, pane, true);
  if (v.event_on) DrawEventBorder(p, pane, true, v.event_kind);

  const int l = pane.left();
  const int t = pane.top();
  const int r = pane.right() + 1;
  const int b = pane.bottom() + 1;
  p.save();
  // A text longer than its pane is cut at the pane's frames rather than
  // painted into the neighbouring pane.
  p.setClipRect(TextArea(pane));
  p.setFont(font);
  p.setPen(TextColour());
  p.setBackgroundMode(Qt::TransparentMode);
  const int flags = Qt::TextSingleLine | Qt::TextDontClip;

  const std::string first = FormatFirstLine(osd_flags, v);
  if (!first.empty()) {
    p.drawText(QRect(QPoint(l + 5, t + 5), QPoint(r - 1, b - 1)), flags | Qt::AlignLeft | Qt::AlignTop,
               QString::fromLocal8Bit(first.c_str()));
  }
  if (v.speed_code != 0) {
    p.drawText(QRect(QPoint(l, t + 5), QPoint(r - 11, b - 1)), flags | Qt::AlignRight | Qt::AlignTop,
               QString::fromLatin1(SpeedLabel(v.speed_code)));
  }
  if (osd_flags & kOsdRates) {
    const std::string rates = FormatRateText(v.frame_rate, v.bit_rate);
    if (!rates.empty()) {
      p.drawText(QRect(QPoint(l + 5, t), QPoint(r - 1, b - 6)), flags | Qt::AlignLeft | Qt::AlignBottom,
                 QString::fromLatin1(rates.c_str()));
    }
  }
  const std::string date = FormatDateText(osd_flags, v.frame_time);
  if (!date.empty()) {
    p.drawText(QRect(QPoint(l, t), QPoint(r - 6, b - 6)), flags | Qt::AlignRight | Qt::AlignBottom,
               QString::fromLatin1(date.c_str()));
  }
  p.restore();
}

void CViewOverlay::DrawChannelNumber(QPainter& p, const QRect& pane, const QFont& font, int channel) const {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%2d", channel + 1);
  p.save();
  p.setClipRect(TextArea(pane));
  p.setFont(font);
  p.setPen(TextColour());
  p.setBackgroundMode(Qt::TransparentMode);
  p.drawText(QRect(QPoint(pane.left() + 5, pane.top() + 5), QPoint(pane.right(), pane.bottom())),
             Qt::TextSingleLine | Qt::TextDontClip | Qt::AlignLeft | Qt::AlignTop, QString::fromLatin1(buf));
  p.restore();
}

QRect CViewOverlay::TextArea(const QRect& pane) {
  // The frames take the pane's outer three pixels (the empty-pane frame one
  // more outside it).
  return pane.adjusted(3, 3, -3, -3);
}
