// CPredefinedListTree: the predefined camera lists of predvr_list3.ini as a
// tree, one item per list and below it one "[%d]:%s(Ch:%d)" item per slot
// the list shows. A list is chosen by double click or Enter. Renaming (F2
// on a list, or RenameList), deleting and moving a list rewrite the file
// from the tree at once.
#pragma once
#include <QTreeWidget>

#include <string>
#include <vector>

#include "sites/predefined_lists.h"

class CPredefinedListTree : public QTreeWidget {
  Q_OBJECT

 public:
  explicit CPredefinedListTree(QWidget* parent = nullptr);

  // Reads the user folder's predvr_list3.ini and shows it again. False
  // when the file cannot be read; the tree is empty then.
  bool Reload();

  const std::vector<PredefinedList>& Lists() const { return lists_; }
  int ListCount() const { return static_cast<int>(lists_.size()); }

  // The list of the current item (a list or one of its slots), or -1.
  int CurrentList() const;
  void SelectList(int index);

  // Each of these changes the lists and saves the file from the tree. False,
  // with the tree and file as they were, for an index out of range, an empty
  // name, or a file that cannot be written. A name is cut to 31 bytes.
  bool RenameList(int index, const std::string& name);
  bool DeleteList(int index);
  bool MoveList(int from, int to);

 signals:
  // A list was chosen (double click or Enter on it or on one of its slots).
  void listChosen(int index);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void Rebuild(int select);
  bool SaveOrRestore(std::vector<PredefinedList> previous, int select);
  void OnItemChanged(QTreeWidgetItem* item, int column);

  std::vector<PredefinedList> lists_;
  bool building_ = false;
};
