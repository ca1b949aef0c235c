// skingen: draws the client's skin bitmaps (a dark graphite theme with one
// accent colour) as 24-bit BMP files into a folder.
//
//   skingen OUTPUT_FOLDER
//
// The numbers and sizes come from src/app/ui/skin_ids.h. Buttons are drawn
// on the panel colour so their anti-aliased edges blend into the framed
// areas; each shape's mask is the same outline filled without
// anti-aliasing, white outside.
#include <QDir>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>
#include <cstdio>
#include <functional>

#include "app/ui/skin_ids.h"

namespace {

namespace skin = app::skin;

QColor C(unsigned rgb, int alpha = 255) {
  return QColor(static_cast<int>((rgb >> 16) & 0xFF), static_cast<int>((rgb >> 8) & 0xFF),
                static_cast<int>(rgb & 0xFF), alpha);
}

QRect R(const skin::SkinRect& r) { return {r.x, r.y, r.w, r.h}; }

QString g_out;
int g_failures = 0;

// Writes a 24-bit BMP (Qt writes 24 bits per pixel for 32-bit opaque images).
void Save(const QImage& image, const QString& name) {
  const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
  const QString path = g_out + "/" + name;
  if (!rgb.save(path, "BMP")) {
    std::fprintf(stderr, "skingen: cannot write %s\n", qPrintable(path));
    ++g_failures;
  }
}

void SaveId(const QImage& image, int id) { Save(image, QString::fromStdString(skin::SkinFileName(id))); }

// ---------------------------------------------------------------------------
// Icons, drawn into a 16 x 16 box.

using Icon = std::function<void(QPainter&, const QColor&)>;

QPen IconPen(const QColor& c, qreal width = 1.6) { return QPen(c, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin); }

void IconLive(QPainter& p, const QColor& c) {
  p.setPen(IconPen(c, 1.4));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(QPointF(8, 8), 6.5, 6.5);
  p.setPen(Qt::NoPen);
  p.setBrush(c);
  p.drawEllipse(QPointF(8, 8), 3.5, 3.5);
}

void IconRemotePlay(QPainter& p, const QColor& c) {
  p.setPen(IconPen(c, 1.4));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(QPointF(8, 8), 6.8, 6.8);
  QPainterPath tri;
  tri.moveTo(6.2, 4.6);
  tri.lineTo(11.6, 8);
  tri.lineTo(6.2, 11.4);
  tri.closeSubpath();
  p.setPen(Qt::NoPen);
  p.setBrush(c);
  p.drawPath(tri);
}

void IconLocalPlay(QPainter& p, const QColor& c) {
  QPainterPath folder;
  folder.moveTo(1.5, 3.5);
  folder.lineTo(6, 3.5);
  folder.lineTo(7.5, 5);
  folder.lineTo(14.5, 5);
  folder.lineTo(14.5, 13.5);
  folder.lineTo(1.5, 13.5);
  folder.closeSubpath();
  p.setPen(IconPen(c, 1.4));
  p.setBrush(Qt::NoBrush);
  p.drawPath(folder);
  QPainterPath tri;
  tri.moveTo(6.5, 7);
  tri.lineTo(10.5, 9.25);
  tri.lineTo(6.5, 11.5);
  tri.closeSubpath();
  p.setPen(Qt::NoPen);
  p.setBrush(c);
  p.drawPath(tri);
}

void IconSnapshot(QPainter& p, const QColor& c) {
  p.setPen(IconPen(c, 1.4));
  p.setBrush(Qt::NoBrush);
  p.drawRoundedRect(QRectF(1.5, 4.5, 13, 9.5), 2, 2);
  p.drawLine(QPointF(5.5, 4.5), QPointF(6.5, 2.5));
  p.drawLine(QPointF(6.5, 2.5), QPointF(9.5, 2.5));
  p.drawLine(QPointF(9.5, 2.5), QPointF(10.5, 4.5));
  p.drawEllipse(QPointF(8, 9.2), 2.8, 2.8);
}

void IconRemoteSetup(QPainter& p, const QColor& c) {
  p.setPen(IconPen(c, 1.4));
  for (int i = 0; i < 3; ++i) {
    const qreal y = 3.5 + i * 4.5;
    p.drawLine(QPointF(1.5, y), QPointF(14.5, y));
  }
  p.setPen(IconPen(c, 1.2));
  p.setBrush(C(skin::kPanelRgb));
  const qreal knobs[3] = {10.5, 5, 9};
  for (int i = 0; i < 3; ++i) p.drawEllipse(QPointF(knobs[i], 3.5 + i * 4.5), 2, 2);
}

void IconConfiguration(QPainter& p, const QColor& c) {
  p.setPen(QPen(c, 2.6, Qt::SolidLine, Qt::FlatCap));
  for (int i = 0; i < 8; ++i) {
    const double a = i * M_PI / 4;
    p.drawLine(QPointF(8 + 4.5 * std::cos(a), 8 + 4.5 * std::sin(a)), QPointF(8 + 7.2 * std::cos(a), 8 + 7.2 * std::sin(a)));
  }
  p.setPen(Qt::NoPen);
  p.setBrush(c);
  p.drawEllipse(QPointF(8, 8), 5.2, 5.2);
  p.setBrush(C(0x2A2F35));
  p.drawEllipse(QPointF(8, 8), 2.1, 2.1);
}

void IconAccounts(QPainter& p, const QColor& c) {
  p.setPen(Qt::NoPen);
  p.setBrush(c);
  p.drawEllipse(QPointF(8, 5), 3, 3);
  QPainterPath body;
  body.moveTo(2, 15);
  body.cubicTo(2, 9.5, 14, 9.5, 14, 15);
  body.closeSubpath();
  p.drawPath(body);
}

void IconExit(QPainter& p, const QColor& c) {
  p.setPen(IconPen(c, 1.7));
  p.setBrush(Qt::NoBrush);
  // An arc open at the top and the stroke through the gap: the power sign.
  p.drawArc(QRectF(2, 2.5, 12, 12), (90 + 40) * 16, (360 - 80) * 16);
  p.drawLine(QPointF(8, 1.5), QPointF(8, 7.5));
}

void IconRotate(QPainter& p, const QColor& c) {
  p.setPen(IconPen(c, 1.6));
  p.setBrush(Qt::NoBrush);
  p.drawArc(QRectF(2.5, 2.5, 11, 11), 60 * 16, 270 * 16);
  QPainterPath head;
  head.moveTo(10.2, 0.8);
  head.lineTo(13.8, 4.2);
  head.lineTo(9.0, 5.6);
  head.closeSubpath();
  p.setPen(Qt::NoPen);
  p.setBrush(c);
  p.drawPath(head);
}

void IconFullScreen(QPainter& p, const QColor& c) {
  p.setPen(IconPen(c, 1.6));
  const qreal a = 2, b = 14, l = 4.5;
  p.drawPolyline(QPolygonF({QPointF(a, a + l), QPointF(a, a), QPointF(a + l, a)}));
  p.drawPolyline(QPolygonF({QPointF(b - l, a), QPointF(b, a), QPointF(b, a + l)}));
  p.drawPolyline(QPolygonF({QPointF(b, b - l), QPointF(b, b), QPointF(b - l, b)}));
  p.drawPolyline(QPolygonF({QPointF(a + l, b), QPointF(a, b), QPointF(a, b - l)}));
}

void IconAbout(QPainter& p, const QColor& c) {
  p.setPen(IconPen(c, 1.4));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(QPointF(8, 8), 6.8, 6.8);
  p.setPen(IconPen(c, 1.8));
  p.drawLine(QPointF(8, 7.3), QPointF(8, 11.6));
  p.setPen(Qt::NoPen);
  p.setBrush(c);
  p.drawEllipse(QPointF(8, 4.8), 1.1, 1.1);
}

void SpeakerBody(QPainter& p, const QColor& c) {
  QPainterPath s;
  s.moveTo(1.5, 6);
  s.lineTo(4.5, 6);
  s.lineTo(8.5, 2.5);
  s.lineTo(8.5, 13.5);
  s.lineTo(4.5, 10);
  s.lineTo(1.5, 10);
  s.closeSubpath();
  p.setPen(Qt::NoPen);
  p.setBrush(c);
  p.drawPath(s);
}

void IconSoundOn(QPainter& p, const QColor& c) {
  SpeakerBody(p, c);
  p.setPen(IconPen(c, 1.4));
  p.setBrush(Qt::NoBrush);
  p.drawArc(QRectF(6.5, 5, 6, 6), -50 * 16, 100 * 16);
  p.drawArc(QRectF(4.5, 2, 11, 12), -50 * 16, 100 * 16);
}

void IconSoundOff(QPainter& p, const QColor& c) {
  SpeakerBody(p, c);
  p.setPen(IconPen(c, 1.6));
  p.drawLine(QPointF(10.5, 5.5), QPointF(14.5, 10.5));
  p.drawLine(QPointF(14.5, 5.5), QPointF(10.5, 10.5));
}

// ---------------------------------------------------------------------------
// Buttons

struct Look {
  QColor top, bottom, border, icon;
  bool pressed = false;
  bool flat = false;
};

Look LookOf(int state) {
  const QColor accent = C(skin::kAccentRgb);
  switch (state) {
    case skin::kSkinPressed:
      return {C(0x1C2024), C(0x252A30), accent, accent.lighter(115), true, false};
    case skin::kSkinHover:
      return {C(0x3D444D), C(0x30363D), accent.darker(115), accent.lighter(125), false, false};
    case skin::kSkinDisabled:
      return {C(0x25292E), C(0x25292E), C(0x30353C), C(0x50575F), false, true};
    default:
      return {C(0x363C44), C(0x2A2F35), C(0x454C56), C(0xB4BDC7), false, false};
  }
}

QPainterPath Shape(int w, int h, qreal radius) {
  QPainterPath path;
  path.addRoundedRect(QRectF(0.5, 0.5, w - 1, h - 1), radius, radius);
  return path;
}

// A button face of w x h: body, optional icon at the left (with a faint
// divider after it), in the given state.
QImage ButtonFace(int w, int h, qreal radius, int state, const Icon& icon, int icon_zone, const QPointF& icon_at) {
  QImage img(w, h, QImage::Format_RGB32);
  img.fill(C(skin::kPanelRgb));
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing, true);
  const Look look = LookOf(state);
  const QPainterPath shape = Shape(w, h, radius);

  QLinearGradient body(0, 0, 0, h);
  body.setColorAt(0, look.top);
  body.setColorAt(1, look.bottom);
  p.setPen(Qt::NoPen);
  p.setBrush(body);
  p.drawPath(shape);

  if (!look.flat) {
    // A soft light line under the top edge, or a shadow when pressed in.
    p.save();
    p.setClipPath(shape);
    p.setPen(QPen(look.pressed ? QColor(0, 0, 0, 110) : QColor(255, 255, 255, 22), 1));
    p.drawLine(QPointF(radius, 1.5), QPointF(w - radius, 1.5));
    p.restore();
  }
  if (icon_zone > 0) {
    p.setPen(QPen(QColor(0, 0, 0, 70), 1));
    p.drawLine(QPointF(icon_zone - 0.5, 5), QPointF(icon_zone - 0.5, h - 5));
    p.setPen(QPen(QColor(255, 255, 255, look.flat ? 8 : 16), 1));
    p.drawLine(QPointF(icon_zone + 0.5, 5), QPointF(icon_zone + 0.5, h - 5));
  }
  p.setPen(QPen(look.border, 1));
  p.setBrush(Qt::NoBrush);
  p.drawPath(shape);

  if (icon) {
    p.save();
    p.translate(icon_at + QPointF(0, look.pressed ? 1 : 0));
    icon(p, look.icon);
    p.restore();
  }
  return img;
}

QImage Mask(int w, int h, const QPainterPath& shape) {
  QImage img(w, h, QImage::Format_RGB32);
  img.fill(Qt::white);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::black);
  p.drawPath(shape);
  return img;
}

void CommandButton(int base, const Icon& icon) {
  const int w = skin::kCommandWidth;
  const int h = skin::kCommandHeight;
  const QPointF at((skin::kSkinCommandTextInset - 16) / 2.0, (h - 16) / 2.0);
  for (int s = 0; s < skin::kSkinStateCount; ++s) {
    SaveId(ButtonFace(w, h, 5, s, icon, skin::kSkinCommandTextInset, at), base + s);
  }
}

// ---------------------------------------------------------------------------
// Slider

void Slider() {
  const int w = skin::kSliderLength;
  const int h = skin::kSliderGrooveHeight;
  for (int fill = 0; fill < 2; ++fill) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(C(skin::kPanelRgb));
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    QLinearGradient g(0, 0, 0, h);
    if (fill != 0) {
      g.setColorAt(0, C(skin::kAccentRgb).lighter(120));
      g.setColorAt(1, C(skin::kAccentRgb).darker(110));
    } else {
      g.setColorAt(0, C(0x0C0E10));
      g.setColorAt(1, C(0x15181C));
    }
    p.setPen(QPen(fill != 0 ? C(skin::kAccentRgb).darker(140) : C(0x2C3238), 1));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(0.5, 0.5, w - 1, h - 1), h / 2.0 - 0.5, h / 2.0 - 0.5);
    p.end();
    SaveId(img, fill != 0 ? skin::kSkinSliderFill : skin::kSkinSliderGroove);
  }
  const int d = skin::kSliderHandleSize;
  for (int active = 0; active < 2; ++active) {
    QImage img(d, d, QImage::Format_RGB32);
    img.fill(C(skin::kPanelRgb));
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    QLinearGradient g(0, 0, 0, d);
    g.setColorAt(0, C(0xE4E9EE));
    g.setColorAt(1, C(0xA9B2BC));
    p.setPen(QPen(active != 0 ? C(skin::kAccentRgb) : C(0x0E1013), active != 0 ? 2 : 1));
    p.setBrush(g);
    const qreal inset = active != 0 ? 1.0 : 0.5;
    p.drawEllipse(QRectF(inset, inset, d - 2 * inset, d - 2 * inset));
    p.end();
    SaveId(img, active != 0 ? skin::kSkinSliderHandleActive : skin::kSkinSliderHandle);
  }
  QPainterPath circle;
  circle.addEllipse(QRectF(0, 0, d, d));
  SaveId(Mask(d, d, circle), skin::kSkinMaskSliderHandle);
}

// ---------------------------------------------------------------------------
// Background and logo

void Panel(QPainter& p, const QRect& r) {
  p.fillRect(r, C(skin::kPanelRgb));
  p.setPen(C(0x0C0E11));
  p.drawRect(r.adjusted(-2, -2, 1, 1));
  p.setPen(C(skin::kFrameRgb));
  p.drawRect(r.adjusted(-1, -1, 0, 0));
  p.setPen(QColor(255, 255, 255, 10));
  p.drawLine(r.left(), r.top(), r.right(), r.top());
}

void TitleBar(QPainter& p, const QRect& r) {
  QLinearGradient g(r.topLeft(), r.bottomLeft());
  g.setColorAt(0, C(0x2A3037));
  g.setColorAt(1, C(0x1F2328));
  p.fillRect(r, g);
  p.setPen(C(skin::kFrameRgb));
  p.drawRect(r.adjusted(0, 0, -1, -1));
  p.fillRect(QRect(r.left(), r.top(), 3, r.height()), C(skin::kAccentRgb));
  p.setPen(QColor(255, 255, 255, 14));
  p.drawLine(r.left() + 3, r.top() + 1, r.right() - 1, r.top() + 1);
}

QImage Background() {
  const int w = skin::kWindowWidth;
  const int h = skin::kWindowHeight;
  QImage img(w, h, QImage::Format_RGB32);
  QPainter p(&img);
  QLinearGradient base(0, 0, 0, h);
  base.setColorAt(0, C(0x1B1F23));
  base.setColorAt(1, C(0x121417));
  p.fillRect(img.rect(), base);
  // A faint diagonal hatch gives the body some texture without noise.
  p.setPen(QColor(255, 255, 255, 5));
  for (int x = -h; x < w; x += 6) p.drawLine(x, h, x + h, 0);

  // Window edge: a dark line, a lighter one inside, and the accent along the top.
  p.setPen(C(0x08090B));
  p.drawRect(0, 0, w - 1, h - 1);
  p.setPen(C(0x2A2F36));
  p.drawRect(1, 1, w - 3, h - 3);
  p.fillRect(QRect(1, 1, w - 2, 2), C(skin::kAccentRgb));

  TitleBar(p, R(skin::kGridTitleRect));
  TitleBar(p, R(skin::kRightTitleRect));

  // The grid: black inside a two-line frame.
  const QRect grid = R(skin::kGridRect);
  p.fillRect(grid, Qt::black);
  p.setPen(C(0x0C0E11));
  p.drawRect(grid.adjusted(-2, -2, 1, 1));
  p.setPen(C(skin::kFrameRgb));
  p.drawRect(grid.adjusted(-1, -1, 0, 0));

  Panel(p, R(skin::kRightColumnRect));
  Panel(p, R(skin::kPlaybackAreaRect));
  p.end();
  SaveId(img, skin::kSkinBackground);
  return img;
}

// The logo is drawn over the part of the background it covers, so the
// picture control blends in where the main window places it.
void Logo(const QImage& background) {
  const int w = skin::kLogoRect.w;
  QImage img = background.copy(R(skin::kLogoRect));
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setRenderHint(QPainter::TextAntialiasing, true);

  // Emblem: a lens in an accent ring on a dark rounded tile.
  const QRectF tile(4, 6, 48, 48);
  QLinearGradient tg(tile.topLeft(), tile.bottomLeft());
  tg.setColorAt(0, C(0x2E343B));
  tg.setColorAt(1, C(0x1A1D21));
  p.setPen(QPen(C(0x3A414A), 1));
  p.setBrush(tg);
  p.drawRoundedRect(tile.adjusted(0.5, 0.5, -0.5, -0.5), 9, 9);
  const QPointF c = tile.center();
  p.setPen(QPen(C(skin::kAccentRgb), 3.2));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(c, 15, 15);
  QRadialGradient lens(c + QPointF(-3, -3), 12);
  lens.setColorAt(0, C(0x2B3A46));
  lens.setColorAt(1, C(0x07090B));
  p.setPen(QPen(C(0x0B0D10), 1));
  p.setBrush(lens);
  p.drawEllipse(c, 11, 11);
  p.setPen(Qt::NoPen);
  p.setBrush(C(skin::kAccentRgb, 200));
  p.drawEllipse(c, 3.2, 3.2);
  p.setBrush(QColor(255, 255, 255, 150));
  p.drawEllipse(c + QPointF(-4.5, -4.5), 2.2, 2.2);

  // Wordmark and a small line under it.
  QFont word("DejaVu Sans");
  word.setPixelSize(30);
  word.setBold(true);
  word.setLetterSpacing(QFont::AbsoluteSpacing, 0.5);
  p.setFont(word);
  p.setPen(C(skin::kTextRgb));
  p.drawText(QRectF(62, 6, w - 64, 36), Qt::AlignLeft | Qt::AlignVCenter, "Tavrel");
  p.fillRect(QRectF(63, 42, 26, 2), C(skin::kAccentRgb));
  QFont tag("DejaVu Sans");
  tag.setPixelSize(9);
  tag.setLetterSpacing(QFont::AbsoluteSpacing, 1.6);
  p.setFont(tag);
  p.setPen(C(0x88919C));
  p.drawText(QRectF(94, 37, w - 96, 12), Qt::AlignLeft | Qt::AlignVCenter, "DVR MONITOR");
  p.end();
  SaveId(img, skin::kSkinLogo);
  Save(img, skin::kLogoFileName);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: skingen OUTPUT_FOLDER\n");
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  g_out = QString::fromLocal8Bit(argv[1]);
  if (!QDir().mkpath(g_out)) {
    std::fprintf(stderr, "skingen: cannot create %s\n", argv[1]);
    return 1;
  }

  Logo(Background());

  const struct {
    int base;
    Icon icon;
  } commands[] = {
      {skin::kSkinLive, IconLive},           {skin::kSkinRemotePlayback, IconRemotePlay},
      {skin::kSkinLocalPlayback, IconLocalPlay}, {skin::kSkinSnapshot, IconSnapshot},
      {skin::kSkinRemoteSetup, IconRemoteSetup}, {skin::kSkinConfiguration, IconConfiguration},
      {skin::kSkinAccounts, IconAccounts},   {skin::kSkinExit, IconExit},
      {skin::kSkinRotate, IconRotate},       {skin::kSkinFullScreen, IconFullScreen},
      {skin::kSkinAbout, IconAbout},
  };
  for (const auto& c : commands) CommandButton(c.base, c.icon);
  SaveId(Mask(skin::kCommandWidth, skin::kCommandHeight, Shape(skin::kCommandWidth, skin::kCommandHeight, 5)),
         skin::kSkinMaskCommand);

  for (int s = 0; s < skin::kSkinStateCount; ++s) {
    SaveId(ButtonFace(skin::kSmallWidth, skin::kSmallHeight, 4, s, Icon(), 0, QPointF()), skin::kSkinSmall + s);
  }
  SaveId(Mask(skin::kSmallWidth, skin::kSmallHeight, Shape(skin::kSmallWidth, skin::kSmallHeight, 4)),
         skin::kSkinMaskSmall);

  const int m = skin::kMuteSize;
  const QPointF icon_at((m - 16) / 2.0, (m - 16) / 2.0);
  for (int s = 0; s < skin::kSkinStateCount; ++s) {
    SaveId(ButtonFace(m, m, 5, s, IconSoundOn, 0, icon_at), skin::kSkinMute + s);
  }
  SaveId(ButtonFace(m, m, 5, skin::kSkinPressed, IconSoundOff, 0, icon_at), skin::kSkinMuteChecked);
  SaveId(Mask(m, m, Shape(m, m, 5)), skin::kSkinMaskMute);

  Slider();

  if (g_failures != 0) return 1;
  // The stamp tells the build that every file was written.
  QFile stamp(g_out + "/skingen.stamp");
  if (!stamp.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 1;
  stamp.write("ok\n");
  return 0;
}
