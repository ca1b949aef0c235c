// Snapshot pictures: a cached YUY2 picture turned into a 24-bit bottom-up
// bitmap block, a captioned preview picture, a BMP file and a printed page.
#pragma once
#include <QImage>
#include <QRect>

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

class QPainter;

inline constexpr int kBitmapInfoHeaderBytes = 40;
inline constexpr int kBitmapFileHeaderBytes = 14;

// The 40-byte bitmap information header, as the fields stand in a file.
struct BitmapInfoHeader {
  uint32_t size = kBitmapInfoHeaderBytes;
  int32_t width = 0;
  int32_t height = 0;  // positive: rows bottom-up
  uint16_t planes = 1;
  uint16_t bit_count = 24;
  uint32_t compression = 0;
  uint32_t size_image = 0;
  int32_t x_pels_per_meter = 0;
  int32_t y_pels_per_meter = 0;
  uint32_t colours_used = 0;
  uint32_t colours_important = 0;

  void Write(uint8_t* out) const;
  static BitmapInfoHeader Read(const uint8_t* in);
};

// Bytes of one bitmap row: width * bits rounded up to whole 4-byte words.
inline int BitmapRowBytes(int width, int bits) { return ((width * bits + 31) / 32) * 4; }

// Two B, G, R pixels out of every 4-byte group Y0 U Y1 V of the input.
void YuyvToBgr24(uint8_t* out, const uint8_t* yuy2, int byte_length);

// The header followed by bottom-up rows (padded to 4 bytes) in one block;
// empty when the picture cannot be converted.
std::vector<uint8_t> MakeDib24(const uint8_t* yuy2, int width, int height);

// Sizes of half-height pictures, shown doubled: 176 x 120, 176 x 144,
// 704 x 240, 704 x 288, 720 x 240 and 720 x 288.
bool IsHalfHeightSize(int width, int height);
// The preview's size: doubled height for half-height pictures, and doubled
// width as well for the 176-pixel-wide ones.
QSize SnapshotPreviewSize(int width, int height, bool half_height);

// The captioned preview: channel number and title at the top left, the
// frame time at the bottom right, in green. Fills *header when given. A null
// image when the picture cannot be converted.
QImage MakeSnapshotBitmap(const uint8_t* yuy2, BitmapInfoHeader* header, int width, int height, bool half_height,
                          int channel_number, const char* title, const std::tm& time);

// Writes a bitmap as a BMP file in its own depth: 32 and 16 bits with three
// colour masks, 24 bits plain, 8 and 1 bits with a colour table; other
// formats as 32 bits. The file is written beside the target and renamed
// over it, so a failed save keeps the old file. 1 on success, 0 on failure.
int SaveBitmapFile(const QImage& bitmap, const std::string& path);

// Where the picture goes on a page: half an inch from the left, an inch from
// the top, the page's width less an inch, the height in the preview's
// proportions.
QRect SnapshotPrintRect(int page_width_dots, int dpi_x, int dpi_y, int width, int height, bool half_height);

// Prints the picture into print_rect of the painter's page with its caption
// and frame time. Text positions are laid out for 600 dpi and scaled to the
// device's resolution, and kept on the page.
void PrintSnapshot(QPainter& printer, const QRect& print_rect, const uint8_t* yuy2, int width, int height,
                   int channel_number, const char* title, const std::tm& time);

// "%04d/%02d/%02d %02d:%02d:%02d" of a calendar time.
std::string SnapshotTimeText(const std::tm& time);
