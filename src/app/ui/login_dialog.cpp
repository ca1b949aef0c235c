#include "app/ui/login_dialog.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/text_ids.h"
#include "app/ui/config_prompts.h"

QValidator::State CAccountTextValidator::validate(QString& input, int&) const {
  return app::AcceptableAccountText(input.toStdString()) ? Acceptable : Invalid;
}

CLoginDialog::CLoginDialog(QWidget* parent) : QDialog(parent) {
  setObjectName("CLoginDialog");
  setWindowTitle("Login");
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  setModal(true);
  model_.Load();

  ids_ = new QComboBox(this);
  ids_->setObjectName("loginId");
  for (const std::string& id : model_.Ids()) ids_->addItem(QString::fromStdString(id));
  password_ = new QLineEdit(this);
  password_->setObjectName("loginPassword");
  password_->setEchoMode(QLineEdit::Password);
  password_->setMaxLength(static_cast<int>(kMaxAccountText));
  password_->setValidator(new CAccountTextValidator(password_));

  auto* form = new QFormLayout;
  auto* id_label = new QLabel(StringOr(app::text::kStrLoginUser, "User ID"), this);
  auto* pw_label = new QLabel(StringOr(app::text::kStrLoginPassword, "Password"), this);
  id_label->setBuddy(ids_);
  pw_label->setBuddy(password_);
  form->addRow(id_label, ids_);
  form->addRow(pw_label, password_);

  login_ = new QPushButton("Login", this);
  login_->setObjectName("loginButton");
  login_->setDefault(true);
  cancel_ = new QPushButton("Cancel", this);
  cancel_->setObjectName("cancelButton");
  cancel_->setAutoDefault(false);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(login_);
  buttons->addWidget(cancel_);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  setMinimumWidth(280);

  connect(login_, &QPushButton::clicked, this, &CLoginDialog::OnLogin);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
  setTabOrder(ids_, password_);
  setTabOrder(password_, login_);
  setTabOrder(login_, cancel_);
  password_->setFocus();
}

void CLoginDialog::keyPressEvent(QKeyEvent* event) {
  // The program cannot be used without a login, so Escape does not leave
  // the dialog; Cancel and closing the window do.
  if (event->key() == Qt::Key_Escape) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void CLoginDialog::OnLogin() {
  const int message = model_.Submit(ids_->currentIndex(), password_->text().toStdString());
  if (message != 0) {
    CLocalPrompts::Show(this, message);
    password_->selectAll();
    password_->setFocus();
    return;
  }
  accept();
}
