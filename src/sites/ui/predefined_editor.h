// CPredefinedListEditor: the dialog that edits one predefined camera list,
// a thin view over CPredefinedEditorModel. The list's name; its 64 rows in a
// table; beside it the sites of site.dat, from which a site is dragged onto
// a row (or put on the selected row with "Add") to fill one row per channel;
// an 8 x 8 grid of slot buttons that select a row; "Clear" (after a yes/no
// question) and "Save".
#pragma once
#include <QDialog>

#include "sites/predefined_model.h"
#include "sites/site_directory_store.h"

class QButtonGroup;
class QLineEdit;
class QTableWidget;
class QTreeWidget;

class CPredefinedListEditor : public QDialog {
  Q_OBJECT

 public:
  // list_index: the list to edit (0-based), or -1 for a new list.
  explicit CPredefinedListEditor(int list_index = -1, QWidget* parent = nullptr);

  // The list's index in the file, -1 while a new list is not saved.
  int ListIndex() const { return model_.ListIndex(); }
  const CPredefinedEditorModel& Model() const { return model_; }

  // The selected row (0-based); 0 when none is selected.
  int CurrentRow() const;
  void SelectRow(int row);

  // Closing (Close or Escape) ends the dialog with Accepted when the list
  // was saved at least once, else Rejected.
  void reject() override;

  // What a drop or "Add" does: fills rows from row (0-based) with the site
  // at group/site of site.dat, or shows why not. True when the rows were
  // filled.
  bool PutSite(int row, int group, int site);

 signals:
  // The list was written to the file as list index (0-based).
  void listSaved(int index);

 private slots:
  void OnAdd();
  void OnClear();
  void OnSave();

 private:
  void ShowOutcome(const CPredefinedEditorModel::Outcome& outcome);
  void RefreshRows();
  void OnRowChanged(int row);

  CPredefinedEditorModel model_;
  SiteDirectoryData sites_;
  bool saved_ = false;
  QLineEdit* name_ = nullptr;
  QTreeWidget* site_tree_ = nullptr;
  QTableWidget* table_ = nullptr;
  QButtonGroup* slots_ = nullptr;
};
