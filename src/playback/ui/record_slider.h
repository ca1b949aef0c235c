// CRecordSlider: a horizontal slider with a recording bar: a thin strip
// above or below the groove that is filled under every value holding a
// recording (an hour of the day, a minute of the hour), lined up with the
// positions the handle takes for those values.
#pragma once
#include <QSlider>

#include <vector>

class CRecordSlider : public QSlider {
  Q_OBJECT

 public:
  enum class BarSide { kAbove, kBelow };

  CRecordSlider(int maximum, BarSide side, QWidget* parent = nullptr);

  // One flag per value from 0 to maximum().
  void SetMarks(const std::vector<bool>& marks);
  const std::vector<bool>& Marks() const { return marks_; }
  // The horizontal span [left, right) of a value's mark in the slider.
  QPair<int, int> MarkSpan(int value) const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  static constexpr int kBarHeight = 4;
  BarSide side_;
  std::vector<bool> marks_;
};
