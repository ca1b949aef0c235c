#include "logvista/viewer_window.h"

#include <QAction>
#include <QActionGroup>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelection>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTableView>
#include <QTextCharFormat>
#include <QVBoxLayout>

#include <cstdio>

#include "logvista/csv_export.h"

namespace logvista {
namespace {

constexpr int kPollMs = 2000;
constexpr int kSettleMs = 150;

QDate DateOfDay(int day) { return QDate(day / 10000, day / 100 % 100, day % 100); }
int DayOfDate(const QDate& date) { return date.year() * 10000 + date.month() * 100 + date.day(); }

// Refills a filter's choices, keeping the chosen value while it is offered.
void FillCombo(QComboBox* combo, const QString& all_text, const std::vector<std::string>& values) {
  const QVariant chosen = combo->currentData();
  const QSignalBlocker block(combo);
  combo->clear();
  combo->addItem(all_text);
  for (const std::string& v : values) {
    const QString value = QString::fromStdString(v);
    combo->addItem(value.isEmpty() ? QStringLiteral("(none)") : value, value);
  }
  const int at = chosen.isValid() ? combo->findData(chosen) : 0;
  combo->setCurrentIndex(at < 0 ? 0 : at);
}

std::optional<std::string> ChosenValue(const QComboBox* combo) {
  const QVariant data = combo->currentData();
  if (!data.isValid()) return std::nullopt;
  return data.toString().toStdString();
}

QLabel* BuddyLabel(const QString& text, QWidget* buddy) {
  auto* label = new QLabel(text);
  label->setBuddy(buddy);
  return label;
}

}  // namespace

ViewerWindow::ViewerWindow(const std::string& folder, QWidget* parent) : QMainWindow(parent), store_(folder) {
  setWindowTitle(QStringLiteral("Event log - Tavrel"));
  model_ = new EventTableModel(store_, this);
  BuildWidgets();
  resize(800, 600);

  connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, [this] { settle_.start(); });
  settle_.setSingleShot(true);
  settle_.setInterval(kSettleMs);
  connect(&settle_, &QTimer::timeout, this, &ViewerWindow::RefreshNow);
  // Files rewritten in place change no folder entry; the poll finds them.
  poll_.setInterval(kPollMs);
  connect(&poll_, &QTimer::timeout, this, &ViewerWindow::RefreshNow);
  poll_.start();
  RefreshNow();
  // The keyboard starts in the table: arrows and Page keys go through the events.
  table_->setFocus();
}

void ViewerWindow::BuildWidgets() {
  auto* central = new QWidget;
  setCentralWidget(central);
  auto* outer = new QVBoxLayout(central);
  outer->setContentsMargins(8, 8, 8, 4);

  kind_ = new QComboBox;
  dvr_ = new QComboBox;
  channel_ = new QComboBox;
  for (QComboBox* combo : {kind_, dvr_, channel_}) {
    combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    combo->setMinimumContentsLength(combo == channel_ ? 5 : 10);
  }
  search_ = new QLineEdit;
  search_->setPlaceholderText(QStringLiteral("Text in any column"));
  search_->setClearButtonEnabled(true);
  export_ = new QPushButton(QStringLiteral("E&xport CSV..."));
  export_->setToolTip(QStringLiteral("Save the rows shown, in their order, as a CSV file (Ctrl+S)"));

  auto* filters = new QHBoxLayout;
  filters->addWidget(BuddyLabel(QStringLiteral("&Kind"), kind_));
  filters->addWidget(kind_);
  filters->addSpacing(6);
  filters->addWidget(BuddyLabel(QStringLiteral("&DVR"), dvr_));
  filters->addWidget(dvr_);
  filters->addSpacing(6);
  filters->addWidget(BuddyLabel(QStringLiteral("C&hannel"), channel_));
  filters->addWidget(channel_);
  filters->addSpacing(6);
  filters->addWidget(BuddyLabel(QStringLiteral("&Search"), search_));
  filters->addWidget(search_, 1);
  filters->addSpacing(6);
  filters->addWidget(export_);
  outer->addLayout(filters);

  calendar_ = new QCalendarWidget;
  calendar_->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
  calendar_->setGridVisible(false);
  calendar_->setToolTip(QStringLiteral("Days in bold hold events"));
  all_days_ = new QCheckBox(QStringLiteral("&All days"));
  all_days_->setChecked(true);
  hours_ = new QListWidget;
  hours_->setToolTip(QStringLiteral("Hours of the chosen day that hold events"));

  auto* side = new QVBoxLayout;
  side->addWidget(BuddyLabel(QStringLiteral("Da&y"), calendar_));
  side->addWidget(calendar_);
  side->addWidget(all_days_);
  side->addWidget(BuddyLabel(QStringLiteral("H&ours"), hours_));
  side->addWidget(hours_, 1);
  auto* side_widget = new QWidget;
  side_widget->setLayout(side);
  side->setContentsMargins(0, 0, 0, 0);
  side_widget->setFixedWidth(calendar_->sizeHint().width());

  table_ = new QTableView;
  table_->setModel(model_);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  // Tab leaves the table for the next control instead of walking its cells.
  table_->setTabKeyNavigation(false);
  table_->setAlternatingRowColors(true);
  table_->setWordWrap(false);
  table_->setTextElideMode(Qt::ElideRight);
  table_->verticalHeader()->hide();
  table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
  QHeaderView* header = table_->horizontalHeader();
  header->setHighlightSections(false);
  header->setStretchLastSection(true);
  const QFontMetrics metrics = table_->fontMetrics();
  header->resizeSection(static_cast<int>(Column::kTime), metrics.horizontalAdvance(QStringLiteral("0000/00/00 00:00:00")) + 18);
  header->resizeSection(static_cast<int>(Column::kKind), metrics.horizontalAdvance(QStringLiteral("Video loss")) + 18);
  header->resizeSection(static_cast<int>(Column::kDvr), metrics.horizontalAdvance(QStringLiteral("Warehouse DVR")) + 18);
  header->resizeSection(static_cast<int>(Column::kChannel), metrics.horizontalAdvance(QStringLiteral("Ch 16")) + 12);
  // The window sorts rather than the view, so the selection survives.
  header->setSectionsClickable(true);
  header->setSortIndicatorShown(true);
  header->setSortIndicator(static_cast<int>(Column::kTime), Qt::DescendingOrder);

  auto* table_side = new QVBoxLayout;
  table_side->setContentsMargins(0, 0, 0, 0);
  table_side->addWidget(BuddyLabel(QStringLiteral("&Events"), table_));
  table_side->addWidget(table_, 1);

  auto* body = new QHBoxLayout;
  body->addWidget(side_widget);
  body->addLayout(table_side, 1);
  outer->addLayout(body, 1);

  status_ = new QLabel;
  status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  statusBar()->addWidget(status_, 1);

  setTabOrder(kind_, dvr_);
  setTabOrder(dvr_, channel_);
  setTabOrder(channel_, search_);
  setTabOrder(search_, export_);
  setTabOrder(export_, calendar_);
  setTabOrder(calendar_, all_days_);
  setTabOrder(all_days_, hours_);
  setTabOrder(hours_, table_);

  for (QComboBox* combo : {kind_, dvr_, channel_}) {
    connect(combo, &QComboBox::currentIndexChanged, this, &ViewerWindow::FiltersChanged);
  }
  connect(search_, &QLineEdit::textChanged, this, &ViewerWindow::FiltersChanged);
  connect(export_, &QPushButton::clicked, this, &ViewerWindow::ExportCsv);
  connect(calendar_, &QCalendarWidget::selectionChanged, this, [this] {
    // Choosing a day shows that day.
    const QSignalBlocker block(all_days_);
    all_days_->setChecked(false);
    FillHours(false);
    ApplyFilter();
  });
  connect(all_days_, &QCheckBox::toggled, this, [this](bool all) {
    {
      const QSignalBlocker block(hours_);
      if (all) {
        hours_->setCurrentRow(-1);
      } else if (hours_->currentRow() < 0) {
        hours_->setCurrentRow(0);
      }
    }
    ApplyFilter();
  });
  connect(hours_, &QListWidget::currentRowChanged, this, [this] {
    const QSignalBlocker block(all_days_);
    all_days_->setChecked(false);
    ApplyFilter();
  });

  connect(header, &QHeaderView::sortIndicatorChanged, this, [this](int column, Qt::SortOrder order) {
    const ViewState view = SaveView();
    model_->sort(column, order);
    RestoreView(view, true);
    const QSignalBlocker block(descending_);
    descending_->setChecked(order == Qt::DescendingOrder);
    if (column >= 0 && column < static_cast<int>(sort_by_.size())) sort_by_[static_cast<size_t>(column)]->setChecked(true);
  });
  BuildMenus();
}

// The menus give the keyboard what the mouse does on the header (sorting)
// and name the shortcuts.
void ViewerWindow::BuildMenus() {
  auto add = [this](QMenu* menu, const QString& text, const QKeySequence& keys, auto slot) {
    QAction* action = menu->addAction(text);
    action->setShortcut(keys);
    connect(action, &QAction::triggered, this, slot);
    return action;
  };
  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  add(file, QStringLiteral("E&xport CSV..."), QKeySequence::Save, [this] { ExportCsv(); });
  add(file, QStringLiteral("&Refresh"), QKeySequence::Refresh, [this] { RefreshNow(); });
  file->addSeparator();
  add(file, QStringLiteral("&Quit"), QKeySequence::Quit, [this] { close(); });

  QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
  add(view, QStringLiteral("&Find..."), QKeySequence::Find, [this] {
    search_->setFocus(Qt::ShortcutFocusReason);
    search_->selectAll();
  });
  view->addSeparator();
  auto* group = new QActionGroup(this);
  static const char* const kSortTexts[kColumnCount] = {"Sort by &time", "Sort by &kind", "Sort by D&VR",
                                                       "Sort by &channel", "Sort by de&scription"};
  QHeaderView* header = table_->horizontalHeader();
  for (int c = 0; c < kColumnCount; ++c) {
    QAction* action = view->addAction(QString::fromLatin1(kSortTexts[c]));
    action->setCheckable(true);
    action->setChecked(c == header->sortIndicatorSection());
    group->addAction(action);
    connect(action, &QAction::triggered, this, [header, c] { header->setSortIndicator(c, header->sortIndicatorOrder()); });
    sort_by_.push_back(action);
  }
  descending_ = view->addAction(QStringLiteral("&Descending (newest first)"));
  descending_->setCheckable(true);
  descending_->setChecked(header->sortIndicatorOrder() == Qt::DescendingOrder);
  connect(descending_, &QAction::toggled, this, [header](bool descending) {
    header->setSortIndicator(header->sortIndicatorSection(), descending ? Qt::DescendingOrder : Qt::AscendingOrder);
  });
}

void ViewerWindow::RefreshNow() {
  // The view is taken while the model's rows still name the old records.
  const ViewState view = SaveView();
  const RefreshResult result = store_.Refresh();
  for (const std::string& note : result.notes) std::fprintf(stderr, "logvista: %s\n", note.c_str());
  folder_present_ = result.folder_present;
  // The watcher forgets a folder that is removed; it is watched again once
  // it is back.
  const QString folder = QDir::cleanPath(QString::fromStdString(store_.folder()));
  if (folder_present_ && !watcher_.directories().contains(folder)) watcher_.addPath(folder);
  if (!result.changed && loaded_) {
    ShowStatus();
    return;
  }
  const bool first = !loaded_;
  loaded_ = true;
  FillChoices();
  FillCalendar();
  if (first && !days_.empty()) {
    const QSignalBlocker block(calendar_);
    calendar_->setSelectedDate(DateOfDay(days_.rbegin()->first));
  }
  FillHours(true);
  model_->SetFilter(CurrentFilter());
  RestoreView(view);
  if (first && model_->rowCount() > 0) table_->selectRow(0);
  ShowStatus();
}

void ViewerWindow::FiltersChanged() {
  FillCalendar();
  FillHours(true);
  ApplyFilter();
}

void ViewerWindow::FillChoices() {
  FillCombo(kind_, QStringLiteral("All kinds"), store_.Kinds());
  FillCombo(dvr_, QStringLiteral("All DVRs"), store_.Dvrs());
  FillCombo(channel_, QStringLiteral("All"), store_.Channels());
}

void ViewerWindow::FillCalendar() {
  days_ = store_.Calendar(CurrentFilter());
  const QSignalBlocker block(calendar_);
  calendar_->setDateTextFormat(QDate(), QTextCharFormat());
  QTextCharFormat marked;
  marked.setFontWeight(QFont::Bold);
  marked.setForeground(palette().color(QPalette::Link));
  for (const auto& [day, hours] : days_) {
    const QDate date = DateOfDay(day);
    if (date.isValid()) calendar_->setDateTextFormat(date, marked);
  }
}

void ViewerWindow::FillHours(bool keep_hour) {
  const QListWidgetItem* current = hours_->currentItem();
  const bool keep = keep_hour && current != nullptr;
  const int chosen = keep ? current->data(Qt::UserRole).toInt() : -1;
  const QSignalBlocker block(hours_);
  hours_->clear();
  std::map<int, int> hours;
  if (auto it = days_.find(DayOfDate(calendar_->selectedDate())); it != days_.end()) hours = it->second;
  int total = 0;
  for (const auto& [hour, count] : hours) total += count;
  auto add = [this](const QString& text, int hour) {
    auto* item = new QListWidgetItem(text, hours_);
    item->setData(Qt::UserRole, hour);
  };
  add(QStringLiteral("Whole day (%1)").arg(total), -1);
  // While all days are shown no hour is chosen.
  int row = all_days_->isChecked() ? -1 : 0;
  for (const auto& [hour, count] : hours) {
    add(QStringLiteral("%1:00   %2 %3").arg(hour, 2, 10, QLatin1Char('0')).arg(count).arg(count == 1 ? "event" : "events"), hour);
    if (keep && hour == chosen) row = hours_->count() - 1;
  }
  hours_->setCurrentRow(row);
}

Filter ViewerWindow::CurrentFilter() const {
  Filter filter;
  filter.kind = ChosenValue(kind_);
  filter.dvr = ChosenValue(dvr_);
  filter.channel = ChosenValue(channel_);
  filter.text = search_->text().trimmed().toStdString();
  if (!all_days_->isChecked()) {
    const int64_t day = DayOfDate(calendar_->selectedDate());
    const QListWidgetItem* item = hours_->currentItem();
    const int hour = item != nullptr ? item->data(Qt::UserRole).toInt() : -1;
    filter.from_hour = day * 100 + (hour < 0 ? 0 : hour);
    filter.to_hour = day * 100 + (hour < 0 ? 99 : hour);
  }
  return filter;
}

void ViewerWindow::ApplyFilter() {
  const ViewState view = SaveView();
  model_->SetFilter(CurrentFilter());
  RestoreView(view);
  ShowStatus();
}

ViewerWindow::ViewState ViewerWindow::SaveView() const {
  ViewState view;
  for (const QModelIndex& index : table_->selectionModel()->selectedRows()) {
    if (const Entry* e = model_->EntryAt(index.row())) view.selected.insert(e->Key());
  }
  if (const Entry* e = model_->EntryAt(table_->currentIndex().row())) view.current = e->Key();
  view.at_top = table_->verticalScrollBar()->value() == 0;
  if (const Entry* e = model_->EntryAt(table_->rowAt(0))) view.top = e->Key();
  for (int c = 0; c < kColumnCount; ++c) view.widths.push_back(table_->horizontalHeader()->sectionSize(c));
  return view;
}

void ViewerWindow::RestoreView(const ViewState& view, bool show_current) {
  QHeaderView* header = table_->horizontalHeader();
  for (int c = 0; c < kColumnCount && c < static_cast<int>(view.widths.size()); ++c) header->resizeSection(c, view.widths[c]);
  // Selected rows as runs, so a long selection stays a few ranges.
  QItemSelection selection;
  const int rows = model_->rowCount();
  int run = -1;
  for (int row = view.selected.empty() ? rows : 0; row <= rows; ++row) {
    const Entry* e = row < rows ? model_->EntryAt(row) : nullptr;
    const bool selected = e != nullptr && view.selected.count(e->Key()) != 0;
    if (selected && run < 0) run = row;
    if (!selected && run >= 0) {
      selection.select(model_->index(run, 0), model_->index(row - 1, kColumnCount - 1));
      run = -1;
    }
  }
  QItemSelectionModel* selection_model = table_->selectionModel();
  selection_model->select(selection, QItemSelectionModel::ClearAndSelect);
  const int current = view.current ? model_->RowOfKey(*view.current) : -1;
  if (current >= 0) selection_model->setCurrentIndex(model_->index(current, 0), QItemSelectionModel::NoUpdate);
  // The scroll range follows the new rows only once the view is laid out.
  table_->doItemsLayout();
  const int top = view.at_top || !view.top ? -1 : model_->RowOfKey(*view.top);
  if (show_current && current >= 0) {
    table_->scrollTo(model_->index(current, 0), QAbstractItemView::PositionAtCenter);
  } else if (top >= 0) {
    table_->scrollTo(model_->index(top, 0), QAbstractItemView::PositionAtTop);
  } else {
    table_->scrollToTop();
  }
}

void ViewerWindow::ShowStatus() {
  const QString folder = QDir::cleanPath(QString::fromStdString(store_.folder()));
  if (!folder_present_) {
    status_->setText(QStringLiteral("No event folder at %1 yet; events show once the client writes them.").arg(folder));
    return;
  }
  QString text = QStringLiteral("%1 of %2 events   %3").arg(model_->rowCount()).arg(store_.entries().size()).arg(folder);
  if (const int unreadable = store_.UnreadableFiles(); unreadable > 0) {
    text += QStringLiteral("   (%1 %2 could not be read)").arg(unreadable).arg(unreadable == 1 ? "file" : "files");
  }
  status_->setText(text);
}

void ViewerWindow::ExportCsv() {
  const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Export events as CSV"),
                                                    QDir::home().filePath(QStringLiteral("events.csv")),
                                                    QStringLiteral("CSV files (*.csv);;All files (*)"));
  if (path.isEmpty()) return;
  const std::vector<const Entry*> rows = model_->Rows();
  if (!WriteCsvFile(path.toStdString(), rows)) {
    QMessageBox::warning(this, QStringLiteral("Export events as CSV"), QStringLiteral("Could not write %1.").arg(path));
    return;
  }
  statusBar()->showMessage(QStringLiteral("Exported %1 events to %2").arg(rows.size()).arg(path), 8000);
}

}  // namespace logvista
