// CChannelView: one pane of the video grid, with the overlay values it shows
// and its drawing object, which stretches a picture into the pane and draws
// the overlay. Owned and locked by CDvrView.
#pragma once
#include <QFont>
#include <QRect>

#include <cstddef>
#include <cstdint>
#include <ctime>

#include "view/view_overlay.h"

class CViewSurfaces;

// How many bytes of text fit limit bytes without cutting a character in
// two: all of it when it is no longer than limit.
size_t TextCutLength(const char* text, size_t limit);

// A picture handed to the grid: YUY2 rows of width * 2 bytes.
struct PictureRecord {
  int channel = -1;
  int second_word = -1;  // the channel again for live and file playback; read back in grid mode 3
  int width = 0;
  int height = 0;
  int size_bytes = 0;  // width * height * 2
  const uint8_t* data = nullptr;
};

class CChannelView;

// Draws pictures and the overlay of its pane on the back surface.
class CPaneDrawing {
 public:
  explicit CPaneDrawing(CChannelView& pane) : pane_(pane) {}
  // Stages the picture, stretches it into the pane shrunk by one pixel,
  // draws the overlay. With black_fill in a single-pane layout the rest of
  // the video area is cleared as well. Returns the back-surface rectangle
  // that changed (empty when nothing was drawn).
  QRect DrawPicture(CViewSurfaces& surfaces, const CViewOverlay& overlay, const PictureRecord& picture, int osd_flags,
                    bool black_fill, int split_count, const QRect& video_area_back) const;

 private:
  CChannelView& pane_;
};

class CChannelView {
 public:
  CChannelView() : drawing_(*this) {}
  CChannelView(const CChannelView&) = delete;
  CChannelView& operator=(const CChannelView&) = delete;

  // Clears the three texts, the frame time and the rates.
  void ClearTexts();
  static void CopyText(char (&to)[kPaneTextBytes], const char* from);
  PaneOverlayValues OverlayValues() const;
  CPaneDrawing& Drawing() { return drawing_; }

  QFont font;
  QRect font_rect;
  QRect caption_rect;
  int channel = -1;
  bool selected = false;
  bool event_on = false;
  int event_kind = 0;
  int picture_width = 0;
  int picture_height = 0;
  char title[kPaneTextBytes] = {};
  char source[kPaneTextBytes] = {};
  char label[kPaneTextBytes] = {};
  std::tm frame_time{};
  int bit_rate = -1;
  int frame_rate = 0;
  int speed_code = 0;
  QRect rect;  // in back-surface coordinates; empty while the pane is not laid out

 private:
  CPaneDrawing drawing_;
};
