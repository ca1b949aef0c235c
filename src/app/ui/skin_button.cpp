#include "app/ui/skin_button.h"

#include <QImageReader>
#include <QKeyEvent>
#include <QPainter>
#include <QRegion>

#include <algorithm>
#include <cstdint>

#include "app/skin_mask.h"

namespace {

constexpr int kMaxSkinSide = 4096;

QColor Rgb(unsigned rgb) { return QColor::fromRgb(static_cast<QRgb>(0xFF000000u | rgb)); }

}  // namespace

QImage LoadSkinImage(const QString& path) {
  QImageReader reader(path);
  const QSize size = reader.size();
  if (!size.isValid() || size.isEmpty() || size.width() > kMaxSkinSide || size.height() > kMaxSkinSide) return {};
  QImage image = reader.read();
  if (image.isNull() || image.width() > kMaxSkinSide || image.height() > kMaxSkinSide) return {};
  return image.convertToFormat(QImage::Format_RGB32);
}

QImage LoadSkinBitmap(int id) {
  if (id <= 0) return {};
  return LoadSkinImage(QString::fromStdString(app::skin::SkinBitmapPath(id)));
}

// ---------------------------------------------------------------------------
// CSkinButton

CSkinButton::CSkinButton(QWidget* parent) : QAbstractButton(parent) {
  setFocusPolicy(Qt::StrongFocus);
  resize(app::skin::kCommandWidth, app::skin::kCommandHeight);
}

CSkinButton::~CSkinButton() = default;

void CSkinButton::SetSkin(int normal, int pressed, int hover, int mask, int fourth, int extra, int stretch, int value,
                          int flags) {
  bitmaps_[static_cast<int>(Face::kNormal)] = LoadSkinBitmap(normal);
  bitmaps_[static_cast<int>(Face::kPressed)] = LoadSkinBitmap(pressed);
  bitmaps_[static_cast<int>(Face::kHover)] = LoadSkinBitmap(hover);
  bitmaps_[static_cast<int>(Face::kFourth)] = LoadSkinBitmap(fourth);
  bitmaps_[static_cast<int>(Face::kExtra)] = LoadSkinBitmap(extra);
  mask_ = LoadSkinBitmap(mask);
  stretch_ = stretch == 1 || stretch == 2 ? stretch : 0;
  value_ = value > 0 ? value : 0;
  if ((flags & app::skin::kSkinFlagCheckable) != 0) setCheckable(true);
  ApplySize();
  ApplyMask();
  update();
}

void CSkinButton::SetSkin(const app::skin::SkinButtonArt& art) {
  SetSkin(art.normal, art.pressed, art.hover, art.mask, art.fourth, art.extra, art.stretch, art.value, art.flags);
}

CSkinButton::Face CSkinButton::CurrentFace() const {
  if (!isEnabled()) return Face::kFourth;
  if (isDown()) return Face::kPressed;
  if (isCheckable() && isChecked()) return Face::kExtra;
  if (hover_) return Face::kHover;
  return Face::kNormal;
}

bool CSkinButton::HasBitmap(Face face) const { return !bitmaps_[static_cast<int>(face)].isNull(); }

// The bitmap of a face, falling back to the pressed one for a checked button
// without an extra bitmap, and to the normal one otherwise.
const QImage& CSkinButton::Bitmap(Face face) const {
  const QImage& own = bitmaps_[static_cast<int>(face)];
  if (!own.isNull()) return own;
  if (face == Face::kExtra && HasBitmap(Face::kPressed)) return bitmaps_[static_cast<int>(Face::kPressed)];
  return bitmaps_[static_cast<int>(Face::kNormal)];
}

QImage CSkinButton::Fitted(const QImage& source, bool smooth) const {
  if (stretch_ == 0 || source.isNull() || size() == source.size() || width() <= 0 || height() <= 0) return source;
  if (stretch_ == 1) {
    return source.scaled(size(), Qt::IgnoreAspectRatio, smooth ? Qt::SmoothTransformation : Qt::FastTransformation);
  }
  QImage out(size(), QImage::Format_RGB32);
  out.fill(Qt::white);
  QPainter p(&out);
  p.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
  for (const app::skin::Slice& s : app::skin::ThreeSlices(source.width(), source.height(), width())) {
    if (s.src_w <= 0 || s.dst_w <= 0) continue;
    p.drawImage(QRect(s.dst_x, 0, s.dst_w, height()), source, QRect(s.src_x, 0, s.src_w, source.height()));
  }
  return out;
}

// The window region: every pixel of the (fitted) mask that is not white. A
// mask that leaves nothing inside would make the button unreachable, so it
// is ignored like a missing one.
void CSkinButton::ApplyMask() {
  if (mask_.isNull()) {
    clearMask();
    return;
  }
  const QImage fitted = Fitted(mask_, false).convertToFormat(QImage::Format_RGB32);
  const auto* pixels = reinterpret_cast<const uint32_t*>(fitted.constBits());
  const int stride = static_cast<int>(fitted.bytesPerLine() / 4);
  QRegion region;
  for (const app::skin::MaskRect& r : app::skin::MaskRects(pixels, fitted.width(), fitted.height(), stride)) {
    region += QRect(r.x, r.y, r.w, r.h);
  }
  region &= rect();
  if (region.isEmpty()) {
    clearMask();
  } else {
    setMask(region);
  }
}

void CSkinButton::ApplySize() {
  const QImage& normal = bitmaps_[static_cast<int>(Face::kNormal)];
  if (stretch_ == 0 && !normal.isNull()) {
    setFixedSize(normal.size());
  } else {
    setMinimumSize(0, 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  }
  updateGeometry();
}

// The label keeps clear of the bitmap's first value_ columns, wherever the
// stretch puts them.
int CSkinButton::TextInset() const {
  const QImage& normal = bitmaps_[static_cast<int>(Face::kNormal)];
  if (normal.isNull() || value_ == 0) return 0;
  if (stretch_ == 1) return value_ * width() / normal.width();
  if (stretch_ == 2) return app::skin::MapColumn(app::skin::ThreeSlices(normal.width(), normal.height(), width()), value_);
  return value_;
}

QSize CSkinButton::sizeHint() const {
  const QImage& normal = bitmaps_[static_cast<int>(Face::kNormal)];
  if (!normal.isNull()) return normal.size();
  const QFontMetrics fm(font());
  return {std::max(app::skin::kCommandWidth, fm.horizontalAdvance(text()) + 16),
          std::max(app::skin::kCommandHeight, fm.height() + 8)};
}

QSize CSkinButton::minimumSizeHint() const { return stretch_ == 0 ? sizeHint() : QSize(8, 8); }

void CSkinButton::paintEvent(QPaintEvent*) {
  using app::skin::kAccentRgb;
  QPainter p(this);
  const Face face = CurrentFace();
  const QImage& bitmap = Bitmap(face);
  if (!bitmap.isNull()) {
    if (stretch_ == 0) {
      p.drawImage(0, 0, bitmap);
    } else {
      p.drawImage(0, 0, Fitted(bitmap, true));
    }
  } else {
    // No skin: a plain dark button in the skin's colours.
    unsigned fill = 0x2C3238;
    if (face == Face::kHover) fill = 0x363D45;
    if (face == Face::kPressed || face == Face::kExtra) fill = 0x22272C;
    if (face == Face::kFourth) fill = 0x24282D;
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(Rgb(face == Face::kHover || face == Face::kPressed || face == Face::kExtra ? kAccentRgb
                                                                                                : app::skin::kFrameRgb),
                  1));
    p.setBrush(Rgb(fill));
    p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 4, 4);
    p.setRenderHint(QPainter::Antialiasing, false);
  }

  if (!text().isEmpty()) {
    QRect area = rect().adjusted(TextInset() + 2, 0, -2, 0);
    if (face == Face::kPressed) area.translate(0, 1);
    const QFontMetrics fm(font());
    const QString shown = fm.elidedText(text(), Qt::ElideRight, std::max(area.width(), 0));
    p.setFont(font());
    // A dark shadow one pixel down keeps light text readable on every face.
    p.setPen(QColor(0, 0, 0, 160));
    p.drawText(area.translated(0, 1), Qt::AlignCenter, shown);
    p.setPen(Rgb(isEnabled() ? app::skin::kTextRgb : app::skin::kTextDisabledRgb));
    p.drawText(area, Qt::AlignCenter, shown);
  }

  if (hasFocus()) {
    QPen pen(Rgb(kAccentRgb).lighter(140), 1, Qt::DotLine);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawRect(rect().adjusted(3, 3, -4, -4));
  }
}

void CSkinButton::resizeEvent(QResizeEvent* event) {
  QAbstractButton::resizeEvent(event);
  if (stretch_ != 0) ApplyMask();
}

void CSkinButton::enterEvent(QEnterEvent* event) {
  hover_ = true;
  update();
  QAbstractButton::enterEvent(event);
}

void CSkinButton::leaveEvent(QEvent* event) {
  hover_ = false;
  update();
  QAbstractButton::leaveEvent(event);
}

// Space is handled by the base class; Enter and Return click as well, so
// every skinned button works from the keyboard alone.
void CSkinButton::keyPressEvent(QKeyEvent* event) {
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && event->modifiers() == Qt::NoModifier) {
    if (isEnabled()) click();
    event->accept();
    return;
  }
  QAbstractButton::keyPressEvent(event);
}

void CSkinButton::changeEvent(QEvent* event) {
  QAbstractButton::changeEvent(event);
  if (event->type() == QEvent::EnabledChange) update();
}

// ---------------------------------------------------------------------------
// CSkinPicture

CSkinPicture::CSkinPicture(QWidget* parent) : QWidget(parent) {}

bool CSkinPicture::LoadFile(const QString& path) {
  picture_ = LoadSkinImage(path);
  if (!picture_.isNull()) resize(picture_.size());
  updateGeometry();
  update();
  return !picture_.isNull();
}

bool CSkinPicture::LoadSkinFile(const std::string& name) {
  return LoadFile(QString::fromStdString(app::skin::SkinFilePath(name)));
}

QSize CSkinPicture::sizeHint() const { return picture_.isNull() ? QSize(0, 0) : picture_.size(); }

void CSkinPicture::paintEvent(QPaintEvent*) {
  if (picture_.isNull()) return;
  QPainter p(this);
  // Centred when the control is larger than the picture.
  p.drawImage((width() - picture_.width()) / 2, (height() - picture_.height()) / 2, picture_);
}
