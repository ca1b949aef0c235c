#include "app/ui/theme.h"

#include <QApplication>
#include <QColor>
#include <QPalette>
#include <QStyleFactory>

#include "app/ui/skin_ids.h"

void ApplyDarkTheme(QApplication& application) {
  if (QStyle* fusion = QStyleFactory::create("Fusion")) application.setStyle(fusion);
  const QColor base = QColor::fromRgb(app::skin::kBaseRgb);
  const QColor panel = QColor::fromRgb(app::skin::kPanelRgb);
  const QColor frame = QColor::fromRgb(app::skin::kFrameRgb);
  const QColor accent = QColor::fromRgb(app::skin::kAccentRgb);
  const QColor text = QColor::fromRgb(app::skin::kTextRgb);
  const QColor disabled = QColor::fromRgb(app::skin::kTextDisabledRgb);
  QPalette p;
  p.setColor(QPalette::Window, panel);
  p.setColor(QPalette::WindowText, text);
  p.setColor(QPalette::Base, base);
  p.setColor(QPalette::AlternateBase, panel.lighter(115));
  p.setColor(QPalette::Text, text);
  p.setColor(QPalette::Button, frame);
  p.setColor(QPalette::ButtonText, text);
  p.setColor(QPalette::BrightText, Qt::white);
  p.setColor(QPalette::Highlight, accent);
  p.setColor(QPalette::HighlightedText, Qt::white);
  p.setColor(QPalette::ToolTipBase, panel);
  p.setColor(QPalette::ToolTipText, text);
  p.setColor(QPalette::PlaceholderText, disabled);
  p.setColor(QPalette::Link, accent);
  p.setColor(QPalette::Light, frame.lighter(140));
  p.setColor(QPalette::Midlight, frame.lighter(120));
  p.setColor(QPalette::Mid, frame);
  p.setColor(QPalette::Dark, base.darker(120));
  p.setColor(QPalette::Shadow, Qt::black);
  for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
    p.setColor(QPalette::Disabled, role, disabled);
  }
  p.setColor(QPalette::Disabled, QPalette::Base, panel);
  application.setPalette(p);
}
