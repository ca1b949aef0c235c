#include "playback/ui/record_slider.h"

#include <QPainter>
#include <algorithm>
#include <QStyle>
#include <QStyleOptionSlider>

namespace {
constexpr QRgb kMarkRgb = 0xFFE0A030;   // recorded
constexpr QRgb kTrackRgb = 0xFF2A3038;  // nothing recorded
}  // namespace

CRecordSlider::CRecordSlider(int maximum, BarSide side, QWidget* parent)
    : QSlider(Qt::Horizontal, parent), side_(side) {
  setRange(0, maximum);
  setPageStep(maximum >= 59 ? 10 : 3);
  setFocusPolicy(Qt::StrongFocus);
  marks_.assign(static_cast<size_t>(maximum) + 1, false);
}

void CRecordSlider::SetMarks(const std::vector<bool>& marks) {
  if (marks == marks_) return;
  marks_ = marks;
  marks_.resize(static_cast<size_t>(maximum()) + 1, false);
  update();
}

QSize CRecordSlider::sizeHint() const {
  QSize size = QSlider::sizeHint();
  size.setHeight(size.height() + 2 * (kBarHeight + 2));
  return size;
}

QSize CRecordSlider::minimumSizeHint() const {
  QSize size = QSlider::minimumSizeHint();
  size.setHeight(size.height() + 2 * (kBarHeight + 2));
  return size;
}

QPair<int, int> CRecordSlider::MarkSpan(int value) const {
  QStyleOptionSlider option;
  initStyleOption(&option);
  // Where the handle's centre is for this value and the next: a mark fills
  // the handle's reach around its value, so neighbouring marks join.
  const QRect handle = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
  const QRect groove = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
  const int handle_width = std::max(1, handle.width());
  const int span = std::max(1, groove.width() - handle_width);
  const int values = std::max(1, maximum() - minimum());
  const auto centre = [&](double v) {
    return groove.left() + handle_width / 2.0 + span * (v - minimum()) / values;
  };
  const int left = static_cast<int>(centre(value - 0.5) + 0.5);
  const int right = static_cast<int>(centre(value + 0.5) + 0.5);
  return {std::max(left, groove.left()), std::min(right, groove.right() + 1)};
}

void CRecordSlider::paintEvent(QPaintEvent* event) {
  QSlider::paintEvent(event);
  QPainter painter(this);
  const int top = side_ == BarSide::kAbove ? 1 : height() - kBarHeight - 1;
  const int track_left = MarkSpan(minimum()).first;
  const int track_end = MarkSpan(maximum()).second;
  painter.fillRect(QRect(track_left, top, track_end - track_left, kBarHeight), QColor::fromRgba(kTrackRgb));
  const QColor mark = isEnabled() ? QColor::fromRgba(kMarkRgb) : QColor::fromRgba(kMarkRgb).darker(160);
  for (int v = minimum(); v <= maximum(); ++v) {
    if (!marks_[static_cast<size_t>(v - minimum())]) continue;
    const auto [left, right] = MarkSpan(v);
    // A hair of space between the marks of an hour bar keeps hours apart.
    const int gap = maximum() < 30 ? 1 : 0;
    painter.fillRect(QRect(left, top, std::max(1, right - left - gap), kBarHeight), mark);
  }
}
