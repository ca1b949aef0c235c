#include "view/snapshot.h"

#include <QFont>
#include <QPaintDevice>
#include <QPainter>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

void Put16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
uint32_t Get32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }

uint8_t Clamp(float v) { return static_cast<uint8_t>(v < 0.0f ? 0.0f : (v > 255.0f ? 255.0f : v)); }

constexpr int kMaxSnapshotSide = 8192;

// The DIB's pixels as a top-down RGB32 image.
QImage DibToImage(const std::vector<uint8_t>& dib, int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  if (image.isNull()) return image;
  const int row = BitmapRowBytes(width, 24);
  for (int y = 0; y < height; ++y) {
    const uint8_t* in = dib.data() + kBitmapInfoHeaderBytes + static_cast<size_t>(height - 1 - y) * row;
    auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < width; ++x) out[x] = qRgb(in[3 * x + 2], in[3 * x + 1], in[3 * x]);
  }
  return image;
}

bool WriteAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

void BitmapInfoHeader::Write(uint8_t* out) const {
  Put32(out, size);
  Put32(out + 4, static_cast<uint32_t>(width));
  Put32(out + 8, static_cast<uint32_t>(height));
  Put16(out + 12, planes);
  Put16(out + 14, bit_count);
  Put32(out + 16, compression);
  Put32(out + 20, size_image);
  Put32(out + 24, static_cast<uint32_t>(x_pels_per_meter));
  Put32(out + 28, static_cast<uint32_t>(y_pels_per_meter));
  Put32(out + 32, colours_used);
  Put32(out + 36, colours_important);
}

BitmapInfoHeader BitmapInfoHeader::Read(const uint8_t* in) {
  BitmapInfoHeader h;
  h.size = Get32(in);
  h.width = static_cast<int32_t>(Get32(in + 4));
  h.height = static_cast<int32_t>(Get32(in + 8));
  h.planes = static_cast<uint16_t>(in[12] | (in[13] << 8));
  h.bit_count = static_cast<uint16_t>(in[14] | (in[15] << 8));
  h.compression = Get32(in + 16);
  h.size_image = Get32(in + 20);
  h.x_pels_per_meter = static_cast<int32_t>(Get32(in + 24));
  h.y_pels_per_meter = static_cast<int32_t>(Get32(in + 28));
  h.colours_used = Get32(in + 32);
  h.colours_important = Get32(in + 36);
  return h;
}

void YuyvToBgr24(uint8_t* out, const uint8_t* yuy2, int byte_length) {
  for (int i = 0; i + 3 < byte_length; i += 4) {
    const float u = static_cast<float>(yuy2[i + 1]) - 128.0f;
    const float v = static_cast<float>(yuy2[i + 3]) - 128.0f;
    for (int k = 0; k < 2; ++k) {
      const float y = 1.164f * (static_cast<float>(yuy2[i + 2 * k]) - 16.0f);
      *out++ = Clamp(y + 2.018f * u);
      *out++ = Clamp(y - 0.813f * v - 0.391f * u);
      *out++ = Clamp(y + 1.596f * v);
    }
  }
}

std::vector<uint8_t> MakeDib24(const uint8_t* yuy2, int width, int height) {
  if (yuy2 == nullptr || width <= 0 || height <= 0 || width > kMaxSnapshotSide || height > kMaxSnapshotSide ||
      width % 2 != 0) {
    return {};
  }
  const int row = BitmapRowBytes(width, 24);
  BitmapInfoHeader header;
  header.width = width;
  header.height = height;
  header.size_image = static_cast<uint32_t>(row) * static_cast<uint32_t>(height);
  std::vector<uint8_t> block(kBitmapInfoHeaderBytes + header.size_image, 0);
  header.Write(block.data());
  // Row y of the picture lands at row height - 1 - y of the block.
  for (int y = 0; y < height; ++y) {
    YuyvToBgr24(block.data() + kBitmapInfoHeaderBytes + static_cast<size_t>(height - 1 - y) * row,
                yuy2 + static_cast<size_t>(y) * width * 2, width * 2);
  }
  return block;
}

bool IsHalfHeightSize(int width, int height) {
  return (width == 176 && (height == 120 || height == 144)) ||
         ((width == 704 || width == 720) && (height == 240 || height == 288));
}

QSize SnapshotPreviewSize(int width, int height, bool half_height) {
  if (!half_height) return QSize(width, height);
  return QSize(width == 176 ? 352 : width, height * 2);
}

std::string SnapshotTimeText(const std::tm& t) {
  char buf[80];
  std::snprintf(buf, sizeof buf, "%04d/%02d/%02d %02d:%02d:%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour,
                t.tm_min, t.tm_sec);
  return buf;
}

QImage MakeSnapshotBitmap(const uint8_t* yuy2, BitmapInfoHeader* header, int width, int height, bool half_height,
                          int channel_number, const char* title, const std::tm& time) {
  const std::vector<uint8_t> dib = MakeDib24(yuy2, width, height);
  if (dib.empty()) return {};
  if (header != nullptr) *header = BitmapInfoHeader::Read(dib.data());
  QImage picture = DibToImage(dib, width, height);
  if (picture.isNull()) return {};
  const QSize size = SnapshotPreviewSize(width, height, half_height);
  QImage out(size, QImage::Format_RGB32);
  if (out.isNull()) return picture;
  QPainter p(&out);
  p.drawImage(QRect(QPoint(0, 0), size), picture);
  QFont font;
  font.setStyleHint(QFont::SansSerif);
  font.setBold(true);
  font.setPixelSize(13);
  p.setFont(font);
  p.setPen(QColor(0, 255, 0));
  p.setBackgroundMode(Qt::TransparentMode);
  char caption[64];
  std::snprintf(caption, sizeof caption, "%02d %s", channel_number, title != nullptr ? title : "");
  const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip;
  p.drawText(QRect(10, 10, size.width(), size.height()), flags, QString::fromLocal8Bit(caption));
  p.drawText(QRect(size.width() - 140, size.height() - 24, 140, 24), flags,
             QString::fromLatin1(SnapshotTimeText(time).c_str()));
  return out;
}

int SaveBitmapFile(const QImage& bitmap, const std::string& path) {
  if (bitmap.isNull() || path.empty()) return 0;
  QImage image = bitmap;
  int bits;
  switch (image.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
      bits = 32;
      break;
    case QImage::Format_RGB16: bits = 16; break;
    case QImage::Format_RGB888:
    case QImage::Format_BGR888:
      bits = 24;
      break;
    case QImage::Format_Indexed8: bits = 8; break;
    case QImage::Format_Mono: bits = 1; break;
    case QImage::Format_MonoLSB:
      image = image.convertToFormat(QImage::Format_Mono);
      bits = 1;
      break;
    default:
      image = image.convertToFormat(QImage::Format_RGB32);
      bits = 32;
      break;
  }
  if (image.isNull()) return 0;
  const int width = image.width();
  const int height = image.height();
  const int row = BitmapRowBytes(width, bits);
  const int table_bytes = bits <= 8 ? 4 * (1 << bits) : 0;
  const int mask_bytes = bits == 16 || bits == 32 ? 12 : 0;
  const int header_bytes = kBitmapInfoHeaderBytes + table_bytes + mask_bytes;
  const size_t image_bytes = static_cast<size_t>(row) * height;

  std::vector<uint8_t> head(kBitmapFileHeaderBytes + header_bytes, 0);
  head[0] = 0x42;
  head[1] = 0x4D;
  Put32(&head[2], static_cast<uint32_t>(kBitmapFileHeaderBytes + header_bytes + image_bytes));
  Put32(&head[10], static_cast<uint32_t>(kBitmapFileHeaderBytes + header_bytes));
  BitmapInfoHeader info;
  info.width = width;
  info.height = height;
  info.bit_count = static_cast<uint16_t>(bits);
  info.compression = mask_bytes != 0 ? 3 : 0;  // bit fields: the three masks follow
  info.size_image = static_cast<uint32_t>(image_bytes);
  info.colours_used = table_bytes != 0 ? static_cast<uint32_t>(1 << bits) : 0;
  info.Write(&head[kBitmapFileHeaderBytes]);
  uint8_t* extra = &head[kBitmapFileHeaderBytes + kBitmapInfoHeaderBytes];
  if (bits == 32) {
    Put32(extra, 0x00FF0000u);
    Put32(extra + 4, 0x0000FF00u);
    Put32(extra + 8, 0x000000FFu);
  } else if (bits == 16) {
    Put32(extra, 0xF800u);
    Put32(extra + 4, 0x07E0u);
    Put32(extra + 8, 0x001Fu);
  } else if (table_bytes != 0) {
    const QList<QRgb> table = image.colorTable();
    for (int i = 0; i < (1 << bits) && i < table.size(); ++i) {
      const QRgb c = table[i];
      extra[4 * i] = static_cast<uint8_t>(qBlue(c));
      extra[4 * i + 1] = static_cast<uint8_t>(qGreen(c));
      extra[4 * i + 2] = static_cast<uint8_t>(qRed(c));
    }
  }
  std::vector<uint8_t> pixels(image_bytes, 0);
  const size_t copy = std::min<size_t>(static_cast<size_t>(row), static_cast<size_t>((width * bits + 7) / 8));
  for (int y = 0; y < height; ++y) {
    uint8_t* out = pixels.data() + static_cast<size_t>(height - 1 - y) * row;
    const uint8_t* in = image.constScanLine(y);
    if (bits == 24 && image.format() == QImage::Format_RGB888) {
      for (int x = 0; x < width; ++x) {
        out[3 * x] = in[3 * x + 2];
        out[3 * x + 1] = in[3 * x + 1];
        out[3 * x + 2] = in[3 * x];
      }
    } else {
      std::memcpy(out, in, copy);
    }
  }

  // Written beside the target and renamed over it once complete.
  std::string temp = path + ".XXXXXX";
  const int fd = mkstemp(temp.data());
  if (fd < 0) return 0;
  bool ok = WriteAll(fd, head.data(), head.size()) && WriteAll(fd, pixels.data(), pixels.size());
  ok = ::fchmod(fd, 0644) == 0 && ok;
  ok = ::close(fd) == 0 && ok;
  if (ok) ok = std::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok ? 1 : 0;
}

QRect SnapshotPrintRect(int page_width_dots, int dpi_x, int dpi_y, int width, int height, bool half_height) {
  const QSize shown = SnapshotPreviewSize(width, height, half_height);
  if (shown.width() <= 0 || shown.height() <= 0) return {};
  const int print_width = page_width_dots - dpi_x;
  const int print_height = static_cast<int>(static_cast<long long>(shown.height()) * print_width / shown.width());
  return QRect(dpi_x / 2, dpi_y, print_width, print_height);
}

void PrintSnapshot(QPainter& printer, const QRect& print_rect, const uint8_t* yuy2, int width, int height,
                   int channel_number, const char* title, const std::tm& time) {
  const std::vector<uint8_t> dib = MakeDib24(yuy2, width, height);
  if (dib.empty() || printer.device() == nullptr) return;
  const QImage picture = DibToImage(dib, width, height);
  if (picture.isNull()) return;
  printer.drawImage(print_rect, picture);

  QPaintDevice* device = printer.device();
  const int dpi_x = std::max(1, device->logicalDpiX());
  const int dpi_y = std::max(1, device->logicalDpiY());
  const int page_w = device->width();
  const int page_h = device->height();
  QFont font;
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(std::max(8, dpi_y / 6));
  printer.setFont(font);
  printer.setPen(QColor(0, 255, 0));
  printer.setBackgroundMode(Qt::TransparentMode);
  const QFontMetrics metrics = printer.fontMetrics();
  char caption[64];
  std::snprintf(caption, sizeof caption, "%02d %s", channel_number, title != nullptr ? title : "");
  const QString texts[2] = {QString::fromLocal8Bit(caption), QString::fromLatin1(SnapshotTimeText(time).c_str())};
  // Positions for a 600-dpi page, the second below the picture.
  const QPoint at600[2] = {QPoint(400, 615), QPoint(3460, 0)};
  for (int i = 0; i < 2; ++i) {
    const QSize size = metrics.size(Qt::TextSingleLine, texts[i]);
    int x = static_cast<int>(static_cast<long long>(at600[i].x()) * dpi_x / 600);
    int y = i == 0 ? static_cast<int>(static_cast<long long>(at600[i].y()) * dpi_y / 600)
                   : print_rect.height() + static_cast<int>(446LL * dpi_y / 600);
    x = std::clamp(x, 0, std::max(0, page_w - size.width()));
    y = std::clamp(y, 0, std::max(0, page_h - size.height()));
    printer.drawText(QRect(QPoint(x, y), size), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, texts[i]);
  }
}
