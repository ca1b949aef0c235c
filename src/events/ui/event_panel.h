// CEventPanel: the event panel of the main window. The event list (newest
// row on top, at most kMaxListRows rows), the appends of its rows to the
// hourly event log, and the button that starts the log viewer, which the
// panel ends again at shutdown.
#pragma once
#include <QAbstractTableModel>
#include <QWidget>

#include <deque>
#include <functional>
#include <mutex>
#include <string>

#include "events/event_monitor.h"
#include "events/viewer_process.h"

class QAbstractButton;
class QTreeView;

namespace events_ui {

// Control and command numbers of the panel.
inline constexpr int kCtlLogViewer = 1721;
inline constexpr int kCmdEndViewer = 0x8000;
inline constexpr int kCmdAppendLog = 0x8001;

// The list's rows, newest first, as five text columns.
class CEventListModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit CEventListModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}
  void SetHeaders(const QStringList& headers) { headers_ = headers; }
  void AddOnTop(const events::EventRow& row);
  const events::EventRow& Row(int index) const { return rows_[static_cast<size_t>(index)]; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  std::deque<events::EventRow> rows_;
  QStringList headers_;
};

class CEventPanel : public QWidget, public events::IEventList {
  Q_OBJECT
 public:
  // The list's geometry on the panel and its columns' widths.
  static constexpr int kListX = 11;
  static constexpr int kListY = 8;
  static constexpr int kListWidth = 707;
  static constexpr int kListHeight = 112;
  static constexpr int kColumnWidths[5] = {142, 110, 120, 40, 290};
  // The text colour (red 0x3B, green 0x99, blue 0xFE) on black.
  static constexpr unsigned kTextRgb = 0x3B99FE;

  explicit CEventPanel(QWidget* parent = nullptr);
  ~CEventPanel() override;

  // Where the log goes and which program the button starts.
  void SetEventFolder(const std::string& folder) { event_folder_ = folder; }
  const std::string& EventFolder() const { return event_folder_; }
  void SetViewerProgram(const std::string& program) { viewer_program_ = program; }
  // Test hook: print every row added as an "event-row" line on stdout.
  void SetReportRows(bool on) { report_rows_ = on; }

  // events::IEventList
  void AddRow(const events::EventRow& row) override;
  void AppendToLog(const events::EventRow& row, std::time_t when) override;

  // The log viewer's button; ending it (command kCmdEndViewer) at shutdown.
  void StartViewer();
  void EndViewer();
  events::CViewerProcess& Viewer() { return viewer_; }

  QTreeView* List() { return list_; }
  CEventListModel* Model() { return model_; }
  QAbstractButton* ViewerButton() { return viewer_button_; }

 private:
  QTreeView* list_ = nullptr;
  CEventListModel* model_ = nullptr;
  QAbstractButton* viewer_button_ = nullptr;
  std::string event_folder_;
  std::string viewer_program_;
  bool report_rows_ = false;
  // Appends take turns, whichever thread asks.
  std::mutex log_lock_;
  events::CViewerProcess viewer_;
};

}  // namespace events_ui
