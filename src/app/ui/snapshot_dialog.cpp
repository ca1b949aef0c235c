#include "app/ui/snapshot_dialog.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <string>

#include "app/text_ids.h"
#include "app/texts.h"
#include "sites/local_settings.h"
#include "view/snapshot.h"

namespace {

namespace t = app::text;

QString Label(int number, const char* fallback) {
  return QString::fromStdString(app::LoadTextOr(app::kStrings, number, fallback));
}

const char* MessageFallback(int number) {
  switch (number) {
    case t::kMsgNoSnapshotPicture: return "There is no picture to take. Select a channel that shows video.";
    case t::kMsgSnapshotWriteFailed: return "The picture file could not be written.";
    case t::kMsgPrintFailed: return "The snapshot could not be printed.";
    default: return "";
  }
}

CSnapshotPrompts* g_prompts = nullptr;

}  // namespace

// ---- prompts ------------------------------------------------------------------

QString CSnapshotPrompts::SaveFileName(QWidget* parent, const QString& initial, const QString& filter) {
  return QFileDialog::getSaveFileName(parent, Label(t::kStrSnapshotSave, "Save"), initial, filter);
}

bool CSnapshotPrompts::HasPrinter() { return !QPrinterInfo::availablePrinters().isEmpty(); }

bool CSnapshotPrompts::ChoosePrinter(QWidget* parent, QPrinter* printer) {
  QPrintDialog dialog(printer, parent);
  return dialog.exec() == QDialog::Accepted;
}

QString CSnapshotPrompts::PdfFileName(QWidget* parent, const QString& title) {
  return QFileDialog::getSaveFileName(parent, title, QString(), "PDF files (*.pdf)");
}

void CSnapshotPrompts::ShowMessage(QWidget* parent, int message) {
  QMessageBox::information(parent, Label(t::kStrAppTitle, "Tavrel"),
                           QString::fromStdString(app::LoadTextOr(app::kMessage, message, MessageFallback(message))));
}

int CSnapshotPrompts::Run(QDialog* dialog) { return dialog->exec(); }

void SetSnapshotPrompts(CSnapshotPrompts* prompts) { g_prompts = prompts; }

CSnapshotPrompts& SnapshotPrompts() {
  static CSnapshotPrompts defaults;
  return g_prompts != nullptr ? *g_prompts : defaults;
}

// ---- the dialog -------------------------------------------------------------------

CSnapshotDialog::CSnapshotDialog(CDvrView* view, QWidget* parent) : QDialog(parent) {
  setProperty("dialogId", app::kSnapshotDialogId);
  setWindowTitle(Label(t::kStrSnapshotTitle, "Snapshot"));
  setFixedSize(app::kSnapshotDialogWidth, app::kSnapshotDialogHeight);

  const int selected = view != nullptr ? view->SelectedChannel() : -1;
  if (selected >= 0 && view->CopyCachedPicture(selected, &picture_)) {
    channel_number_ = view->SelectedPaneId() + 1;
    // The grid keeps only pictures it could show; checked again all the same
    // before the bytes are converted.
    const size_t need = static_cast<size_t>(picture_.width) * static_cast<size_t>(picture_.height) * 2;
    if (picture_.width > 0 && picture_.height > 0 && picture_.width <= kPictureSurfaceWidth &&
        picture_.height <= kPictureSurfaceHeight && picture_.data.size() >= need) {
      model_.TakePictureSize(picture_.width, picture_.height);
      preview_ = MakeSnapshotBitmap(picture_.data.data(), nullptr, picture_.width, picture_.height, model_.Doubled(),
                                    channel_number_, picture_.title.c_str(), picture_.frame_time);
    }
  }
  BuildControls();
}

void CSnapshotDialog::BuildControls() {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);  // room for a 720-pixel-wide preview
  auto* picture = new QLabel(this);
  picture->setAlignment(Qt::AlignCenter);
  if (!preview_.isNull()) picture->setPixmap(QPixmap::fromImage(preview_));
  layout->addWidget(picture, 1);

  auto* row = new QHBoxLayout();
  QString channel = Label(t::kStrSnapshotChannel, "Channel") + ": ";
  QString time = Label(t::kStrSnapshotTime, "Time") + ": ";
  if (HasPicture()) {
    channel += QString::asprintf("%02d ", channel_number_) + QString::fromLocal8Bit(picture_.title.c_str());
    time += QString::fromLatin1(SnapshotTimeText(picture_.frame_time).c_str());
  }
  row->addWidget(new QLabel(channel, this));
  row->addWidget(new QLabel(time, this));
  row->addStretch(1);

  save_ = new QPushButton(Label(t::kStrSnapshotSave, "Save"), this);
  save_->setProperty("controlId", app::kSnapshotSaveControl);
  print_ = new QPushButton(Label(t::kStrSnapshotPrint, "Print"), this);
  print_->setProperty("controlId", app::kSnapshotPrintControl);
  close_ = new QPushButton(Label(t::kStrSnapshotClose, "Close"), this);
  for (QPushButton* b : {save_, print_, close_}) {
    b->setFocusPolicy(Qt::StrongFocus);
    b->setAutoDefault(false);
    row->addWidget(b);
  }
  save_->setDefault(true);
  save_->setEnabled(HasPicture());
  print_->setEnabled(HasPicture());
  layout->addLayout(row);

  connect(save_, &QPushButton::clicked, this, &CSnapshotDialog::Save);
  connect(print_, &QPushButton::clicked, this, &CSnapshotDialog::Print);
  connect(close_, &QPushButton::clicked, this, &QDialog::reject);
}

void CSnapshotDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // Centred on the window it belongs to, else on its screen.
  QRect over;
  if (parentWidget() != nullptr) {
    over = parentWidget()->window()->frameGeometry();
  } else if (QScreen* s = screen()) {
    over = s->availableGeometry();
  }
  if (over.isValid()) move(over.center() - QPoint(width() / 2, height() / 2));
}

void CSnapshotDialog::Save() {
  if (!HasPicture()) return;
  CSnapshotPrompts& prompts = SnapshotPrompts();
  const QString initial = QFile::decodeName(GetClientPath(ClientFolder::kSnapshot).c_str());
  const QString chosen = prompts.SaveFileName(this, initial, QString::fromLatin1(app::kSnapshotFilter.data(),
                                                                                   app::kSnapshotFilter.size()));
  if (chosen.isEmpty()) return;
  const QByteArray encoded = QFile::encodeName(QFileInfo(chosen).absoluteFilePath());
  const std::string path = app::SnapshotFileName(std::string_view(encoded.constData(), encoded.size()));
  const int written = SaveBitmapFile(preview_, path);
  SetClientPath(ClientFolder::kSnapshot, path);
  if (written != 1) prompts.ShowMessage(this, app::CSnapshotModel::SaveFailedMessage());
  done(written == 1 ? QDialog::Accepted : QDialog::Rejected);
}

void CSnapshotDialog::Print() {
  if (!HasPicture()) return;
  CSnapshotPrompts& prompts = SnapshotPrompts();
  QPrinter printer(QPrinter::HighResolution);
  if (prompts.HasPrinter()) {
    if (!prompts.ChoosePrinter(this, &printer)) return;
  } else {
    // No printer on this machine: the page goes into a PDF file.
    const QString pdf = prompts.PdfFileName(this, Label(t::kStrPrintToFileTitle, "Print to file"));
    if (pdf.isEmpty()) return;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
  }
  if (!PrintOn(printer)) prompts.ShowMessage(this, app::CSnapshotModel::PrintFailedMessage());
}

bool CSnapshotDialog::PrintOn(QPrinter& printer) {
  const QString job = QString::fromLatin1(app::kSnapshotPrintJob.data(), app::kSnapshotPrintJob.size());
  printer.setDocName(job);
  const app::SnapshotPageRect r = model_.PageRect(printer.width(), printer.logicalDpiX(), printer.logicalDpiY());
  if (r.width <= 0 || r.height <= 0) return false;

  // While the page is made: a small window that can cancel the job, and no
  // second press of this dialog's buttons.
  QDialog abort_window(this);
  abort_window.setWindowTitle(job);
  abort_window.setModal(false);
  auto* abort_layout = new QVBoxLayout(&abort_window);
  abort_layout->addWidget(new QLabel(job, &abort_window));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, &abort_window);
  abort_layout->addWidget(buttons);
  bool cancelled = false;
  connect(buttons, &QDialogButtonBox::rejected, &abort_window, [&cancelled] { cancelled = true; });
  connect(&abort_window, &QDialog::rejected, &abort_window, [&cancelled] { cancelled = true; });
  for (QPushButton* b : {save_, print_, close_}) b->setEnabled(false);
  abort_window.show();
  QCoreApplication::processEvents();

  bool printed = false;
  QPainter painter;
  if (!cancelled && painter.begin(&printer)) {
    PrintSnapshot(painter, QRect(r.left, r.top, r.width, r.height), picture_.data.data(), picture_.width,
                  picture_.height, channel_number_, picture_.title.c_str(), picture_.frame_time);
    QCoreApplication::processEvents();
    if (cancelled) printer.abort();
    printed = painter.end() && !cancelled;
  }
  abort_window.hide();
  for (QPushButton* b : {save_, print_, close_}) b->setEnabled(true);
  // A job the operator cancelled is no failure to report.
  return printed || cancelled;
}

int OpenSnapshot(CDvrView* view, QWidget* parent) {
  CSnapshotDialog dialog(view, parent);
  CSnapshotPrompts& prompts = SnapshotPrompts();
  const int message = app::CSnapshotModel::OpeningMessage(view != nullptr ? view->SelectedChannel() : -1,
                                                          dialog.HasPicture());
  if (message != 0) {
    prompts.ShowMessage(parent, message);
    return QDialog::Rejected;
  }
  return prompts.Run(&dialog);
}
