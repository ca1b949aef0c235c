#include "logvista/event_table_model.h"

namespace logvista {

EventTableModel::EventTableModel(const EventStore& store, QObject* parent) : QAbstractTableModel(parent), store_(store) {}

int EventTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int EventTableModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumnCount; }

QVariant EventTableModel::data(const QModelIndex& index, int role) const {
  const Entry* e = EntryAt(index.row());
  if (e == nullptr || index.column() < 0 || index.column() >= kColumnCount) return {};
  const auto column = static_cast<Column>(index.column());
  switch (role) {
    case Qt::DisplayRole: {
      const std::string_view text = ColumnText(*e, column);
      return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    }
    case Qt::ToolTipRole:
      // Long descriptions are cut by the column; the tip shows them whole.
      return column == Column::kDescription ? QVariant(QString::fromStdString(e->row.description)) : QVariant();
    case Qt::TextAlignmentRole:
      return column == Column::kChannel ? QVariant(int(Qt::AlignCenter)) : QVariant(int(Qt::AlignLeft | Qt::AlignVCenter));
    default:
      return {};
  }
}

QVariant EventTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return QAbstractTableModel::headerData(section, orientation, role);
  static const char* const kTitles[kColumnCount] = {"Time", "Kind", "DVR", "Ch", "Description"};
  return section >= 0 && section < kColumnCount ? QVariant(QString::fromLatin1(kTitles[section])) : QVariant();
}

void EventTableModel::sort(int column, Qt::SortOrder order) {
  if (column < 0 || column >= kColumnCount) return;
  order_ = Order{static_cast<Column>(column), order == Qt::DescendingOrder};
  Reload();
}

void EventTableModel::SetFilter(const Filter& filter) {
  filter_ = filter;
  Reload();
}

void EventTableModel::Reload() {
  beginResetModel();
  rows_.clear();
  const Entry* first = store_.entries().data();
  for (const Entry* e : store_.Select(filter_, order_)) rows_.push_back(static_cast<size_t>(e - first));
  endResetModel();
  emit Reloaded();
}

std::vector<const Entry*> EventTableModel::Rows() const {
  std::vector<const Entry*> rows;
  for (int i = 0; i < static_cast<int>(rows_.size()); ++i) {
    if (const Entry* e = EntryAt(i)) rows.push_back(e);
  }
  return rows;
}

const Entry* EventTableModel::EntryAt(int row) const {
  if (row < 0 || row >= static_cast<int>(rows_.size())) return nullptr;
  const size_t at = rows_[static_cast<size_t>(row)];
  return at < store_.entries().size() ? &store_.entries()[at] : nullptr;
}

int EventTableModel::RowOfKey(const std::string& key) const {
  for (int i = 0; i < static_cast<int>(rows_.size()); ++i) {
    const Entry* e = EntryAt(i);
    if (e != nullptr && e->Key() == key) return i;
  }
  return -1;
}

}  // namespace logvista
