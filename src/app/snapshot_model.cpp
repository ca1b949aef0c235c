#include "app/snapshot_model.h"

#include "app/text_ids.h"

namespace app {

bool SnapshotSizeClass(int width, int height, int* size_class, bool* doubled) {
  struct Row {
    int height, size_class;
    bool doubled;
  };
  static constexpr Row kFull[] = {{480, 1, false}, {240, 2, true}, {288, 5, true}, {576, 4, false}};
  static constexpr Row kHalf[] = {{240, 3, false}, {288, 6, false}};
  static constexpr Row kQuarter[] = {{120, 3, true}, {144, 6, true}};
  auto find = [&](const auto& rows) {
    for (const Row& r : rows) {
      if (r.height == height) {
        *size_class = r.size_class;
        *doubled = r.doubled;
        return true;
      }
    }
    return false;
  };
  if (width == 720 || width == 704) return find(kFull);
  if (width == 352 || width == 360) return find(kHalf);
  if (width == 176) return find(kQuarter);
  return false;
}

std::string SnapshotFileName(std::string_view chosen) {
  std::string name(chosen);
  if (name.size() < 4 || name.compare(name.size() - 4, 4, ".bmp") != 0) name += ".bmp";
  return name;
}

void CSnapshotModel::TakePictureSize(int width, int height) {
  int size_class = 0;
  bool doubled = false;
  if (SnapshotSizeClass(width, height, &size_class, &doubled)) {
    size_class_ = size_class;
    doubled_ = doubled;
  } else if (!taken_) {
    // Nothing to keep yet: the picture is shown as it is.
    size_class_ = 0;
    doubled_ = false;
  }
  taken_ = true;
  width_ = width;
  height_ = height;
}

int CSnapshotModel::PreviewWidth() const { return doubled_ && width_ == 176 ? 352 : width_; }

int CSnapshotModel::PreviewHeight() const { return doubled_ ? height_ * 2 : height_; }

SnapshotPageRect CSnapshotModel::PageRect(int printable_width, int dpi_x, int dpi_y) const {
  const int printed_width = printable_width - dpi_x;
  if (PreviewWidth() <= 0 || PreviewHeight() <= 0 || dpi_x <= 0 || dpi_y <= 0 || printed_width <= 0) return {};
  SnapshotPageRect r;
  r.left = dpi_x / 2;
  r.top = dpi_y;
  r.width = printed_width;
  r.height = static_cast<int>(static_cast<long long>(PreviewHeight()) * printed_width / PreviewWidth());
  return r;
}

int CSnapshotModel::OpeningMessage(int selected_channel, bool has_picture) {
  return selected_channel < 0 || !has_picture ? text::kMsgNoSnapshotPicture : 0;
}

int CSnapshotModel::SaveFailedMessage() { return text::kMsgSnapshotWriteFailed; }

int CSnapshotModel::PrintFailedMessage() { return text::kMsgPrintFailed; }

}  // namespace app
