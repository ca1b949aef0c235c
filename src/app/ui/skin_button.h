// CSkinButton: a button that paints itself from skin bitmaps, and
// CSkinPicture: a control that shows one bitmap file.
//
// A skinned button shows the normal bitmap, the pressed one while it is held
// down, the hover one while the mouse is over it and the fourth one while it
// is disabled (the normal one when there is no fourth). A checkable button
// shows the extra bitmap while checked (the pressed one when there is no
// extra). Its outline comes from the mask bitmap: white pixels lie outside.
// A label set with setText is drawn centred over the bitmap, right of the
// first `value` pixels (where the bitmap has its icon). Missing bitmaps give
// a plain dark button instead.
//
// Stretch modes:
//   0  the button takes the size of its normal bitmap and keeps it;
//   1  the bitmaps and the mask are scaled to whatever size the button has;
//   2  as 1, but the left end (as wide as the bitmap is high) and the right
//      end (half that) keep their width and only the middle is stretched
//      across, so rounded ends and the icon stay sharp on wide buttons.
#pragma once
#include <QAbstractButton>
#include <QImage>
#include <QWidget>

#include <array>
#include <string>

#include "app/ui/skin_ids.h"

class CSkinButton : public QAbstractButton {
  Q_OBJECT

 public:
  enum class Face { kNormal, kPressed, kHover, kFourth, kExtra };

  explicit CSkinButton(QWidget* parent = nullptr);
  ~CSkinButton() override;

  // Resource numbers of the bitmaps (0 = none), the stretch mode, the text
  // inset in bitmap pixels (value) and kSkinFlag* flags.
  void SetSkin(int normal, int pressed, int hover, int mask, int fourth, int extra, int stretch, int value, int flags);
  void SetSkin(const app::skin::SkinButtonArt& art);

  // What the button shows now, and whether that face has a bitmap.
  Face CurrentFace() const;
  bool HasBitmap(Face face) const;
  int StretchMode() const { return stretch_; }

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  static constexpr int kFaceCount = 5;
  const QImage& Bitmap(Face face) const;
  QImage Fitted(const QImage& source, bool smooth) const;
  void ApplyMask();
  void ApplySize();
  int TextInset() const;

  std::array<QImage, kFaceCount> bitmaps_;
  QImage mask_;
  int stretch_ = 0;
  int value_ = 0;
  bool hover_ = false;
};

class CSkinPicture : public QWidget {
  Q_OBJECT

 public:
  explicit CSkinPicture(QWidget* parent = nullptr);

  // Loads a bitmap file and takes its size; false (and an empty picture)
  // when it cannot be read.
  bool LoadFile(const QString& path);
  // Loads a file of the Skin folder by name ("logo.bmp").
  bool LoadSkinFile(const std::string& name);
  const QImage& Picture() const { return picture_; }

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage picture_;
};

// Reads a skin bitmap with its size checked first, so a damaged or hostile
// file cannot make us allocate a huge image; a null image when the file is
// missing, unreadable or larger than 4096 x 4096.
QImage LoadSkinImage(const QString& path);
QImage LoadSkinBitmap(int id);
