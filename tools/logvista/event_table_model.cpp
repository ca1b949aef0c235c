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
  rows_ = store_.Select(filter_, order_);
  generation_ = store_.generation();
  endResetModel();
  emit Reloaded();
}

std::vector<const Entry*> EventTableModel::Rows() const {
  return generation_ == store_.generation() ? rows_ : std::vector<const Entry*>();
}

const Entry* EventTableModel::EntryAt(int row) const {
  if (row < 0 || row >= static_cast<int>(rows_.size()) || generation_ != store_.generation()) return nullptr;
  return rows_[static_cast<size_t>(row)];
}

int EventTableModel::RowOfKey(const EntryKey& key) const {
  if (generation_ != store_.generation()) return -1;
  for (size_t i = 0; i < rows_.size(); ++i) {
    if (rows_[i]->record == key.second && rows_[i]->file == key.first) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace logvista
