#include "sites/ui/predefined_tree.h"

#include <QKeyEvent>
#include <QMetaObject>

#include <utility>

#include "sites/predefined_model.h"
#include "sites/site_directory_store.h"
#include "sites/ui/site_dialogs.h"

CPredefinedListTree::CPredefinedListTree(QWidget* parent) : QTreeWidget(parent) {
  setObjectName("CPredefinedListTree");
  setColumnCount(1);
  setHeaderHidden(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  // F2 renames a list in place; a double click chooses it.
  setEditTriggers(QAbstractItemView::EditKeyPressed);
  setExpandsOnDoubleClick(false);
  connect(this, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item, int) {
    const int index = CurrentList();
    if (item != nullptr && index >= 0) emit listChosen(index);
  });
  connect(this, &QTreeWidget::itemChanged, this, &CPredefinedListTree::OnItemChanged);
}

bool CPredefinedListTree::Reload() {
  const int keep = CurrentList();
  const bool ok = LoadPredefinedLists(PredefinedListPath(), &lists_);
  Rebuild(keep);
  return ok;
}

void CPredefinedListTree::Rebuild(int select) {
  building_ = true;
  clear();
  for (const PredefinedList& list : lists_) {
    auto* item = new QTreeWidgetItem(this, {QString::fromStdString(list.name)});
    item->setFlags(item->flags() | Qt::ItemIsEditable);
    for (const int n : TreeSlotNumbers(list)) {
      new QTreeWidgetItem(item, {QString::fromStdString(SlotTreeText(n, list.Slot(n)))});
    }
  }
  building_ = false;
  SelectList(select);
}

int CPredefinedListTree::CurrentList() const {
  QTreeWidgetItem* item = currentItem();
  if (item == nullptr) return -1;
  if (item->parent() != nullptr) item = item->parent();
  return indexOfTopLevelItem(item);
}

void CPredefinedListTree::SelectList(int index) {
  if (index >= topLevelItemCount()) index = topLevelItemCount() - 1;
  if (index >= 0) setCurrentItem(topLevelItem(index));
}

bool CPredefinedListTree::SaveOrRestore(std::vector<PredefinedList> previous, int select) {
  if (SavePredefinedLists(PredefinedListPath(), lists_)) {
    Rebuild(select);
    return true;
  }
  lists_ = std::move(previous);
  Rebuild(CurrentList());
  return false;
}

bool CPredefinedListTree::RenameList(int index, const std::string& name) {
  if (index < 0 || index >= ListCount()) return false;
  const std::string cut = CutSiteText(name);
  if (cut.empty()) return false;
  if (cut == lists_[static_cast<size_t>(index)].name) return true;
  std::vector<PredefinedList> previous = lists_;
  lists_[static_cast<size_t>(index)].name = cut;
  return SaveOrRestore(std::move(previous), index);
}

bool CPredefinedListTree::DeleteList(int index) {
  if (index < 0 || index >= ListCount()) return false;
  std::vector<PredefinedList> previous = lists_;
  lists_.erase(lists_.begin() + index);
  return SaveOrRestore(std::move(previous), index);
}

bool CPredefinedListTree::MoveList(int from, int to) {
  if (from < 0 || from >= ListCount() || to < 0 || to >= ListCount()) return false;
  if (from == to) return true;
  std::vector<PredefinedList> previous = lists_;
  PredefinedList moved = std::move(lists_[static_cast<size_t>(from)]);
  lists_.erase(lists_.begin() + from);
  lists_.insert(lists_.begin() + to, std::move(moved));
  return SaveOrRestore(std::move(previous), to);
}

void CPredefinedListTree::keyPressEvent(QKeyEvent* event) {
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && state() != EditingState) {
    const int index = CurrentList();
    if (index >= 0) {
      emit listChosen(index);
      event->accept();
      return;
    }
  }
  QTreeWidget::keyPressEvent(event);
}

void CPredefinedListTree::OnItemChanged(QTreeWidgetItem* item, int) {
  if (building_ || item->parent() != nullptr) return;
  const int index = indexOfTopLevelItem(item);
  if (index < 0) return;
  const std::string name = item->text(0).toStdString();
  if (name == lists_[static_cast<size_t>(index)].name) return;
  // The in-place editor is still committing: rebuild the items after it
  // has finished.
  QMetaObject::invokeMethod(
      this,
      [this, index, name] {
        if (index >= ListCount()) return;
        if (RenameList(index, name)) return;
        if (CutSiteText(name).empty()) {
          CSitePrompts::Show(this, 30, CSitePrompts::Message(30, "Enter a list name."));
        } else {
          CSitePrompts::Show(this, 0, kPredefinedWriteFailedText);
        }
        Rebuild(index);
      },
      Qt::QueuedConnection);
}
