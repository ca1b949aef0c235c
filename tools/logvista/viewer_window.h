// The viewer's window: filters along the top (kind, DVR, channel, search,
// export), the calendar of days holding events with the chosen day's hours
// at the left, the event table at the right and a status line below. It
// follows the folder as the client appends (a folder watcher plus a poll
// for files written in place), keeping the selection and the rows in view.
#pragma once
#include <QFileSystemWatcher>
#include <QMainWindow>
#include <QTimer>

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "logvista/event_table_model.h"
#include "logvista/log_store.h"

class QAction;
class QCalendarWidget;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTableView;

namespace logvista {

class ViewerWindow : public QMainWindow {
  Q_OBJECT

 public:
  explicit ViewerWindow(const std::string& folder, QWidget* parent = nullptr);

  // Reads what changed in the folder and updates the view.
  void RefreshNow();
  void SetPollInterval(int milliseconds) { poll_.setInterval(milliseconds); }

  const EventStore& store() const { return store_; }
  EventTableModel& model() { return *model_; }
  QTableView& table() { return *table_; }
  QComboBox& kind_filter() { return *kind_; }
  QLineEdit& search() { return *search_; }
  QCheckBox& all_days() { return *all_days_; }
  QCalendarWidget& calendar() { return *calendar_; }
  QListWidget& hours() { return *hours_; }
  QLabel& status() { return *status_; }

 private:
  // What the operator had selected and scrolled to, by the records' keys.
  struct ViewState {
    std::set<EntryKey> selected;
    std::optional<EntryKey> current;
    std::optional<EntryKey> top;  // the first row in view
    bool at_top = true;
    std::vector<int> widths;
  };

  void BuildWidgets();
  void BuildMenus();
  void FillChoices();
  void FillCalendar();
  void FillHours(bool keep_hour);
  void FiltersChanged();
  void ApplyFilter();
  void ShowStatus();
  void ExportCsv();
  Filter CurrentFilter() const;
  ViewState SaveView() const;
  // show_current: scroll to the current row (after a new order) rather
  // than keep the first row in view.
  void RestoreView(const ViewState& view, bool show_current = false);

  EventStore store_;
  EventTableModel* model_ = nullptr;
  bool folder_present_ = false;
  bool loaded_ = false;
  CalendarIndex days_;  // days and hours under the current kind, DVR, channel and search

  QComboBox* kind_ = nullptr;
  QComboBox* dvr_ = nullptr;
  QComboBox* channel_ = nullptr;
  QLineEdit* search_ = nullptr;
  QPushButton* export_ = nullptr;
  QCalendarWidget* calendar_ = nullptr;
  QCheckBox* all_days_ = nullptr;
  QListWidget* hours_ = nullptr;
  QTableView* table_ = nullptr;
  QLabel* status_ = nullptr;
  std::vector<QAction*> sort_by_;  // by column
  QAction* descending_ = nullptr;

  QFileSystemWatcher watcher_;
  QTimer poll_;
  QTimer settle_;  // gathers the watcher's bursts into one refresh
};

}  // namespace logvista
