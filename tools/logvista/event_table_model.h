// The event table: the store's rows that pass the filter, in the chosen
// order, as a Qt table model. Sorting a column (header click) re-orders
// through the store's rules; every change resets the model, and the window
// restores its selection by the rows' keys.
#pragma once
#include <QAbstractTableModel>

#include <string>
#include <vector>

#include "logvista/log_store.h"

namespace logvista {

class EventTableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit EventTableModel(const EventStore& store, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  void sort(int column, Qt::SortOrder order) override;

  void SetFilter(const Filter& filter);
  const Filter& filter() const { return filter_; }
  const Order& order() const { return order_; }
  // Selects the rows afresh from the store (after a refresh).
  void Reload();

  // The shown rows, in order; empty when the store changed since the last
  // reload.
  std::vector<const Entry*> Rows() const;
  // The record of a row, or null (no such row, or the store has changed
  // since the last reload and the row's record may be gone).
  const Entry* EntryAt(int row) const;
  // The row showing the record with this key, or -1.
  int RowOfKey(const EntryKey& key) const;

 signals:
  // After every reset: a new filter, order or store content.
  void Reloaded();

 private:
  const EventStore& store_;
  Filter filter_;
  Order order_;
  std::vector<const Entry*> rows_;
  uint64_t generation_ = 0;  // the store's, when rows_ was taken
};

}  // namespace logvista
