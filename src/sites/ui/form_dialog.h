// The parts every small form dialog of the client is built from: labelled
// rows, OK and Cancel, and a fixed-size layout.
#pragma once
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace form_dialog {

// A row whose label gives the field its keyboard shortcut.
inline void AddRow(QFormLayout* form, const QString& label, QWidget* field) {
  auto* l = new QLabel(label, field->parentWidget());
  l->setBuddy(field);
  form->addRow(l, field);
}

// OK and Cancel; Cancel rejects, OK is the caller's to connect.
inline QDialogButtonBox* OkCancel(QDialog* dialog) {
  auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
  box->button(QDialogButtonBox::Ok)->setObjectName("okButton");
  box->button(QDialogButtonBox::Cancel)->setObjectName("cancelButton");
  QObject::connect(box, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  return box;
}

inline void FinishLayout(QDialog* dialog, QFormLayout* form, QDialogButtonBox* box, int min_width) {
  auto* layout = new QVBoxLayout(dialog);
  layout->addLayout(form);
  layout->addWidget(box);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  dialog->setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  dialog->setMinimumWidth(min_width);
}

}  // namespace form_dialog
