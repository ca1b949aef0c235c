// CLoginDialog: the local login shown at start. A drop-down of the local
// account IDs and a password field; "Login" (or Enter) checks the password,
// a mismatch shows a message and the dialog stays. Escape is ignored; the
// Cancel button or closing the window cancels. exec() returns Accepted after
// a good password; IsAdministrator() then tells whether account 00 was used.
#pragma once
#include <QDialog>
#include <QValidator>

#include "app/accounts_model.h"

class QComboBox;
class QLineEdit;
class QPushButton;

// Lets a line edit hold only text the account file can store unchanged.
class CAccountTextValidator : public QValidator {
 public:
  using QValidator::QValidator;
  State validate(QString& input, int& pos) const override;
};

class CLoginDialog : public QDialog {
  Q_OBJECT

 public:
  explicit CLoginDialog(QWidget* parent = nullptr);
  bool IsAdministrator() const { return model_.IsAdministrator(); }

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private slots:
  void OnLogin();

 private:
  app::CLoginModel model_;
  QComboBox* ids_ = nullptr;
  QLineEdit* password_ = nullptr;
  QPushButton* login_ = nullptr;
  QPushButton* cancel_ = nullptr;
};
