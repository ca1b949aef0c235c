// CAccountsDialog (dialog 413): the local operator accounts, a list of IDs
// with their (masked) passwords and the buttons "ADD", "DEL", "CHG" and
// "Default". "ADD" opens "User Add", "CHG" opens "Password Change"; every
// check lives in app::CAccountsModel, which writes tavrel_login.ini at once.
#pragma once
#include <QDialog>

#include "app/accounts_model.h"

class QLineEdit;
class QPushButton;
class QTreeWidget;

class CAccountsDialog : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kDialogId = 413;
  explicit CAccountsDialog(QWidget* parent = nullptr);

 private slots:
  void OnAdd();
  void OnDelete();
  void OnChange();
  void OnDefault();

 private:
  void Refresh(int select_row);
  int SelectedRow() const;

  app::CAccountsModel model_;
  QTreeWidget* list_ = nullptr;
};

// "User Add": ID, password and confirmation. OK asks the model and stays
// open with a message when it refuses.
class CUserAddDialog : public QDialog {
  Q_OBJECT

 public:
  CUserAddDialog(app::CAccountsModel* model, QWidget* parent = nullptr);

 private slots:
  void OnOk();

 private:
  app::CAccountsModel* model_;
  QLineEdit* id_ = nullptr;
  QLineEdit* password_ = nullptr;
  QLineEdit* confirm_ = nullptr;
};

// "Password Change": the ID (read-only), "New Password" and "Password
// Confirm".
class CPasswordChangeDialog : public QDialog {
  Q_OBJECT

 public:
  CPasswordChangeDialog(app::CAccountsModel* model, int row, QWidget* parent = nullptr);

 private slots:
  void OnOk();

 private:
  app::CAccountsModel* model_;
  int row_;
  QLineEdit* password_ = nullptr;
  QLineEdit* confirm_ = nullptr;
};
