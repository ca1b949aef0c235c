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

  // The shown rows, in order (valid until the store's next refresh).
  std::vector<const Entry*> Rows() const;
  const Entry* EntryAt(int row) const;
  // The row showing the record with this key, or -1.
  int RowOfKey(const std::string& key) const;

 signals:
  // After every reset: a new filter, order or store content.
  void Reloaded();

 private:
  const EventStore& store_;
  Filter filter_;
  Order order_;
  // Positions in the store's entries rather than pointers, so a row asked
  // for between a store refresh and the reload is checked, never dangling.
  std::vector<size_t> rows_;
};

}  // namespace logvista
