// CConfigSheet: the local configuration sheet, a modal dialog with the pages
// "Event Popup", "Network", "OSD" and "Video Display" over tavrel_config.ini.
// Each page is a thin view over its state class in app/config_pages.h; OK
// saves the pages that save with the sheet, Cancel leaves what was already
// written. The caller re-reads the "OSD" and "VIDEO" keys afterwards.
#pragma once
#include <QDialog>
#include <QWidget>

#include "app/config_pages.h"

class QCheckBox;
class QComboBox;
class QTabWidget;

class CConfigEventPopup : public QWidget {
  Q_OBJECT

 public:
  explicit CConfigEventPopup(QWidget* parent = nullptr);

 private:
  app::CEventPopupState state_;
};

// The "Network" page: "Covert OFF" and the data time-out are shown; "CH
// Mask ", "Live OFF" and the connection time-out are kept hidden.
class CConfigHidden : public QWidget {
  Q_OBJECT

 public:
  explicit CConfigHidden(QWidget* parent = nullptr);
  bool Save();

 signals:
  // "Covert OFF" changed: whether covert channels are now shown.
  void covertShowChanged(bool show);

 private:
  app::CNetworkState state_;
};

class CConfigOSD : public QWidget {
  Q_OBJECT

 public:
  explicit CConfigOSD(QWidget* parent = nullptr);

 private:
  void OnSet();

  app::COsdState state_;
};

class CConfigVideo : public QWidget {
  Q_OBJECT

 public:
  explicit CConfigVideo(QWidget* parent = nullptr);
  bool Save() { return state_.Save(); }

 private:
  app::CVideoState state_;
};

class CConfigSheet : public QDialog {
  Q_OBJECT

 public:
  explicit CConfigSheet(QWidget* parent = nullptr);

 signals:
  // Passed on from the "Network" page, so running live and playback
  // connections can follow "Covert OFF" at once.
  void covertShowChanged(bool show);

 private:
  void OnOk();

  QTabWidget* tabs_ = nullptr;
  CConfigHidden* network_ = nullptr;
  CConfigVideo* video_ = nullptr;
};
