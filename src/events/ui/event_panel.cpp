#include "events/ui/event_panel.h"

#include <QColor>
#include <QFont>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeView>

#include <cstdio>

#include "app/text_ids.h"
#include "app/texts.h"

namespace events_ui {
namespace {

QString Text(int number, const char* fallback) {
  return QString::fromStdString(app::LoadTextOr(app::kStrings, number, fallback));
}

const std::string& Column(const events::EventRow& row, int column) {
  switch (column) {
    case 0: return row.time;
    case 1: return row.kind;
    case 2: return row.dvr;
    case 3: return row.channel;
    default: return row.description;
  }
}

}  // namespace

void CEventListModel::AddOnTop(const events::EventRow& row) {
  if (rows_.size() >= static_cast<size_t>(events::kMaxListRows)) {
    const int last = static_cast<int>(rows_.size()) - 1;
    beginRemoveRows(QModelIndex(), last, last);
    rows_.pop_back();
    endRemoveRows();
  }
  beginInsertRows(QModelIndex(), 0, 0);
  rows_.push_front(row);
  endInsertRows();
}

int CEventListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int CEventListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 5; }

QVariant CEventListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) return {};
  switch (role) {
    case Qt::DisplayRole:
      return QString::fromStdString(Column(rows_[static_cast<size_t>(index.row())], index.column()));
    case Qt::ForegroundRole:
      return QColor::fromRgb(CEventPanel::kTextRgb);
    case Qt::BackgroundRole:
      return QColor(Qt::black);
    default:
      return {};
  }
}

QVariant CEventListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= headers_.size()) return {};
  return headers_[section];
}

CEventPanel::CEventPanel(QWidget* parent) : QWidget(parent) {
  setObjectName("eventPanel");
  model_ = new CEventListModel(this);
  model_->SetHeaders({Text(35, "Time"), Text(90, "Type"), Text(235, "DVR"), Text(41, "CH"), Text(236, "Description")});

  list_ = new QTreeView(this);
  list_->setObjectName("eventList");
  list_->setModel(model_);
  list_->setGeometry(kListX, kListY, kListWidth, kListHeight);
  list_->setRootIsDecorated(false);
  list_->setItemsExpandable(false);
  list_->setUniformRowHeights(true);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  // The columns fill the width; the last one loses the few pixels of the
  // vertical scroll bar rather than the rows a horizontal one would take.
  list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // A small font, so that the fixed column widths hold their texts whole.
  QFont font = list_->font();
  font.setPixelSize(12);
  list_->setFont(font);
  list_->header()->setFont(font);
  list_->header()->setStretchLastSection(false);
  list_->header()->setSectionsMovable(false);
  for (int c = 0; c < 5; ++c) list_->setColumnWidth(c, kColumnWidths[c]);
  // Black behind the rows and the texts; the rows' own colour comes from
  // the model, so a style sheet of the window cannot change it.
  QPalette palette = list_->palette();
  palette.setColor(QPalette::Base, Qt::black);
  palette.setColor(QPalette::AlternateBase, Qt::black);
  palette.setColor(QPalette::Text, QColor::fromRgb(kTextRgb));
  list_->setPalette(palette);
  list_->setStyleSheet(QString("QTreeView#eventList { background: black; color: #%1; border: 1px solid #323840; font-size: 12px; }"
                               "QTreeView#eventList::item { background: black; color: #%1; }"
                               "QTreeView#eventList::item:selected { background: #1e3f66; color: #%1; }"
                               "QHeaderView::section { background: #2a3038; color: #e8ecf0; border: 0;"
                               " border-right: 1px solid #3a424d; padding: 0 4px; font-size: 12px; }")
                           .arg(kTextRgb, 6, 16, QChar('0')));

  auto* button = new QPushButton(Text(app::text::kStrLogViewer, "Log viewer"), this);
  button->setObjectName("eventViewerButton");
  button->setProperty("controlId", kCtlLogViewer);
  button->setGeometry(kListX + kListWidth - 110, kListY + kListHeight + 1, 110, 15);
  button->setStyleSheet(
      "QPushButton#eventViewerButton { background: #2a3038; color: #e8ecf0; border: 1px solid #3a424d;"
      " border-radius: 2px; font-size: 11px; padding: 0 4px; }"
      "QPushButton#eventViewerButton:hover { background: #343b45; }"
      "QPushButton#eventViewerButton:pressed { background: #2fa4d9; }");
  connect(button, &QPushButton::clicked, this, &CEventPanel::StartViewer);
  viewer_button_ = button;
}

CEventPanel::~CEventPanel() { EndViewer(); }

void CEventPanel::AddRow(const events::EventRow& row) {
  model_->AddOnTop(row);
  if (report_rows_) {
    std::printf("event-row time=%s kind=%s dvr=%s channel=%s text=%s\n", row.time.c_str(), row.kind.c_str(),
                row.dvr.c_str(), row.channel.c_str(), row.description.c_str());
    std::fflush(stdout);
  }
}

void CEventPanel::AppendToLog(const events::EventRow& row, std::time_t when) {
  if (event_folder_.empty()) return;
  std::lock_guard<std::mutex> lock(log_lock_);
  // A record that cannot be stored is not reported: the list still shows it.
  events::AppendEventRecord(event_folder_, row, when);
}

void CEventPanel::StartViewer() {
  // A viewer that cannot be started is not reported.
  if (!viewer_program_.empty()) viewer_.Start(viewer_program_, event_folder_);
}

void CEventPanel::EndViewer() { viewer_.Stop(); }

}  // namespace events_ui
