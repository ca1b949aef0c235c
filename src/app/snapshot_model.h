// The snapshot dialog's rules without widgets: the size class and doubling
// of a picture, what a press of Save and Print works with (the file name,
// the page geometry) and which message a failure shows.
#pragma once
#include <string>
#include <string_view>

namespace app {

inline constexpr int kSnapshotDialogId = 348;
inline constexpr int kSnapshotDialogWidth = 728;
inline constexpr int kSnapshotDialogHeight = 656;
inline constexpr int kSnapshotSaveControl = 1255;
inline constexpr int kSnapshotPrintControl = 1256;
// The save dialog's filter as the operator sees it.
inline constexpr std::string_view kSnapshotFilter = "Bitmap files(*.bmp)";
// Title of the window shown while printing, and the print job's name.
inline constexpr std::string_view kSnapshotPrintJob = "Printing snapshot..";

// The class and doubling of a listed picture size: 720 or 704 wide by 480
// (1), 240 (2, doubled), 576 (4), 288 (5, doubled); 352 or 360 wide by 240
// (3) or 288 (6); 176 wide by 120 (3, doubled) or 144 (6, doubled). False
// for a size not listed.
bool SnapshotSizeClass(int width, int height, int* size_class, bool* doubled);

// The name a picture is saved under: the chosen name with ".bmp" appended
// unless its last four characters are exactly ".bmp" (".BMP" gets one too).
std::string SnapshotFileName(std::string_view chosen);

// Where the picture goes on a printed page, in device dots.
struct SnapshotPageRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

class CSnapshotModel {
 public:
  // Takes the size of a new picture: the table's class and doubling when
  // the size is listed; any other size keeps the previous class and
  // doubling, and as the first picture is shown at its own size (class 0,
  // no doubling).
  void TakePictureSize(int width, int height);

  int Width() const { return width_; }
  int Height() const { return height_; }
  int SizeClass() const { return size_class_; }
  bool Doubled() const { return doubled_; }
  // The preview's size: twice the height when doubled, and twice the width
  // as well for the 176-wide pictures.
  int PreviewWidth() const;
  int PreviewHeight() const;

  // The picture on a page whose printable area is printable_width dots wide:
  // half an inch from the left, an inch from the top, the printable width
  // less an inch across, and as high as the preview's proportions make it.
  // Empty (all zero) without a picture or a usable page.
  SnapshotPageRect PageRect(int printable_width, int dpi_x, int dpi_y) const;

  // MESSAGE numbers: opening with no selected pane (selected < 0) or without
  // a picture (0 when the snapshot can be shown); a failed write; a failed
  // print.
  static int OpeningMessage(int selected_channel, bool has_picture);
  static int SaveFailedMessage();
  static int PrintFailedMessage();

 private:
  bool taken_ = false;
  int width_ = 0;
  int height_ = 0;
  int size_class_ = 0;
  bool doubled_ = false;
};

}  // namespace app
