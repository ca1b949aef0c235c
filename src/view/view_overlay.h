// CViewOverlay: the pens, colours and fonts every pane of the video grid
// shares, the frames that mark empty, selected and event panes, and the
// corner texts (channel and names, playback speed, rates, date and time).
// The formatting helpers are free functions so the texts can be checked
// without drawing.
#pragma once
#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>

#include <ctime>
#include <string>

class QPainter;

// Which overlay items a grid draws (one word per grid).
inline constexpr int kOsdChannelNumber = 0x0001;
inline constexpr int kOsdLabel = 0x0002;
inline constexpr int kOsdTitle = 0x0004;
inline constexpr int kOsdSource = 0x0008;
inline constexpr int kOsdRates = 0x00F0;
inline constexpr int kOsdDateMask = 0x0F00;
inline constexpr int kOsdDateMonthFirst = 0x0200;
inline constexpr int kOsdDateDayFirst = 0x0400;
inline constexpr int kOsdDefault = 0xD103;

// Texts shown in a pane, at most 31 bytes each, cut on a character boundary.
inline constexpr int kPaneTextBytes = 32;

// The overlay values of one pane, as the drawing needs them.
struct PaneOverlayValues {
  int channel = -1;  // index; shown as index + 1
  bool selected = false;
  bool event_on = false;
  int event_kind = 0;
  const char* title = "";
  const char* source = "";
  const char* label = "";
  std::tm frame_time{};  // tm_year 0 or -1: no time known
  int bit_rate = -1;     // bytes per second, -1 = unknown
  int frame_rate = 0;
  int speed_code = 0;
};

// "%2d", " %s", "(%s)" and ":%s" joined as the flags ask.
std::string FormatFirstLine(int osd_flags, const PaneOverlayValues& v);
// "%d Fps/%d KBPS", or "" when the bit rate is unknown.
std::string FormatRateText(int frame_rate, int bit_rate);
// The frame time in the format the date bits choose, or "" for none.
std::string FormatDateText(int osd_flags, const std::tm& t);
// The speed label of codes 1..12, "" otherwise.
const char* SpeedLabel(int speed_code);

class CViewOverlay {
 public:
  static constexpr int kFontCount = 10;
  static constexpr int kPenWidth = 2;

  CViewOverlay();

  // Index of the font for a pane rectangle, by its smaller side.
  static int FontIndexForRect(const QRect& pane);
  const QFont& FontForRect(const QRect& pane) const { return fonts_[FontIndexForRect(pane)]; }
  const QFont& Font(int index) const { return fonts_[index]; }
  // The face the fonts really use ("Chicago" when installed).
  QString FaceInUse() const { return fonts_[0].family(); }

  static QColor SelectionColour() { return QColor(255, 0, 0); }
  static QColor PlainColour() { return QColor(0, 0, 0); }
  static QColor EmptyPaneColour() { return QColor(202, 202, 202); }
  static QColor TextColour() { return QColor(0, 255, 0); }
  // Kinds 0..4; other kinds draw with the plain pen.
  static QColor EventColour(int kind);

  // Pane rectangles are (left, top, right, bottom) with right and bottom
  // exclusive, as QRect(QPoint(l, t), QPoint(r - 1, b - 1)).
  void DrawEmptyFrame(QPainter& p, const QRect& pane) const;
  void DrawSelection(QPainter& p, const QRect& pane, bool selected) const;
  void DrawEventBorder(QPainter& p, const QRect& pane, bool on, int kind) const;
  void DrawOverlay(QPainter& p, const QRect& pane, const QFont& font, int osd_flags,
                   const PaneOverlayValues& v) const;
  void DrawChannelNumber(QPainter& p, const QRect& pane, const QFont& font, int channel) const;

  // Where a pane's texts may be drawn: the pane inside its frames.
  static QRect TextArea(const QRect& pane);

  // A hollow frame two pixels wide inside (left, top, right, bottom).
  static void DrawFrame(QPainter& p, int left, int top, int right, int bottom, const QColor& colour);

 private:
  QFont fonts_[kFontCount];
};
