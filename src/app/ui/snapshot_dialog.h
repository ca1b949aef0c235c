// CSnapshotDialog: the picture of the selected pane of the video grid,
// frozen when the dialog opens, shown with its channel and capture time; it
// is saved as a bitmap file ("Save") or printed on one page ("Print"). The
// rules live in app::CSnapshotModel; the file dialogs, the printer choice,
// message boxes and the modal run go through CSnapshotPrompts, which tests
// replace.
#pragma once
#include <QDialog>
#include <QImage>
#include <QString>

#include "app/snapshot_model.h"
#include "view/dvr_view.h"

class QPrinter;
class QPushButton;

// What the snapshot dialog asks of the operator. The defaults show the
// modal Qt dialogs.
class CSnapshotPrompts {
 public:
  virtual ~CSnapshotPrompts() = default;
  // The file to save into (empty: cancelled).
  virtual QString SaveFileName(QWidget* parent, const QString& initial, const QString& filter);
  // Whether a printer is installed.
  virtual bool HasPrinter();
  // Lets the operator choose and set up the printer (false: cancelled).
  virtual bool ChoosePrinter(QWidget* parent, QPrinter* printer);
  // The PDF file to print into when there is no printer (empty: cancelled).
  virtual QString PdfFileName(QWidget* parent, const QString& title);
  // A message box with the MESSAGE text of the number.
  virtual void ShowMessage(QWidget* parent, int message);
  // Runs the dialog modally and returns its result.
  virtual int Run(QDialog* dialog);
};

// The prompts in use; null restores the defaults. Not owned.
void SetSnapshotPrompts(CSnapshotPrompts* prompts);
CSnapshotPrompts& SnapshotPrompts();

class CSnapshotDialog : public QDialog {
  Q_OBJECT

 public:
  // Copies the selected pane's picture, its title and time out of the grid.
  explicit CSnapshotDialog(CDvrView* view, QWidget* parent = nullptr);
  // False when no pane was selected or it held no picture.
  bool HasPicture() const { return !preview_.isNull(); }
  const app::CSnapshotModel& Model() const { return model_; }
  const QImage& Preview() const { return preview_; }

 public slots:
  // Saves the picture; the dialog closes with the write's result.
  void Save();
  // Prints the picture on one page; the dialog stays open.
  void Print();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void BuildControls();
  // Prints onto a printer that is set up; false when nothing was printed.
  bool PrintOn(QPrinter& printer);

  app::CSnapshotModel model_;
  CachedPictureCopy picture_;
  int channel_number_ = 0;
  QImage preview_;
  QPushButton* save_ = nullptr;
  QPushButton* print_ = nullptr;
  QPushButton* close_ = nullptr;
};

// The snapshot command: MESSAGE 41 when no pane is selected or it holds no
// picture (0 is returned), else the dialog, run modally; its result.
int OpenSnapshot(CDvrView* view, QWidget* parent);
