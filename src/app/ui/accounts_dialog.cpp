#include "app/ui/accounts_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/text_ids.h"
#include "app/ui/config_prompts.h"
#include "app/ui/login_dialog.h"
#include "sites/ui/form_dialog.h"

namespace {

QLineEdit* AccountField(const char* name, bool password, QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  edit->setMaxLength(static_cast<int>(kMaxAccountText));
  edit->setValidator(new CAccountTextValidator(edit));
  if (password) edit->setEchoMode(QLineEdit::Password);
  return edit;
}


}  // namespace

CAccountsDialog::CAccountsDialog(QWidget* parent) : QDialog(parent) {
  setObjectName("CAccountsDialog");
  setProperty("dialogId", kDialogId);
  setWindowTitle("User");
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  setModal(true);

  list_ = new QTreeWidget(this);
  list_->setObjectName("accountList");
  list_->setColumnCount(2);
  list_->setHeaderLabels({StringOr(app::text::kStrAccountsId, "ID"),
                          StringOr(app::text::kStrAccountsPassword, "Password")});
  list_->setRootIsDecorated(false);
  list_->setUniformRowHeights(true);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->header()->setSectionResizeMode(QHeaderView::Stretch);
  list_->setMinimumSize(320, 220);

  auto* buttons = new QVBoxLayout;
  auto add_button = [this, buttons](const char* text, const char* name, void (CAccountsDialog::*slot)()) {
    auto* b = new QPushButton(text, this);
    b->setObjectName(name);
    b->setAutoDefault(false);
    connect(b, &QPushButton::clicked, this, slot);
    buttons->addWidget(b);
  };
  add_button("ADD", "addButton", &CAccountsDialog::OnAdd);
  add_button("DEL", "delButton", &CAccountsDialog::OnDelete);
  add_button("CHG", "chgButton", &CAccountsDialog::OnChange);
  add_button("Default", "defaultButton", &CAccountsDialog::OnDefault);
  buttons->addStretch(1);

  auto* close = new QDialogButtonBox(QDialogButtonBox::Close, this);
  close->button(QDialogButtonBox::Close)->setObjectName("closeButton");
  connect(close, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* row = new QHBoxLayout;
  row->addWidget(list_, 1);
  row->addLayout(buttons);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(row);
  layout->addWidget(close);

  model_.Load();
  Refresh(0);
  list_->setFocus();
}

int CAccountsDialog::SelectedRow() const {
  const QList<QTreeWidgetItem*> items = list_->selectedItems();
  return items.isEmpty() ? -1 : list_->indexOfTopLevelItem(items.first());
}

void CAccountsDialog::Refresh(int select_row) {
  list_->clear();
  for (int r = 0; r < model_.RowCount(); ++r) {
    auto* item = new QTreeWidgetItem(list_);
    item->setText(0, QString::fromStdString(model_.Id(r)));
    item->setText(1, QString::fromStdString(model_.MaskedPassword(r)));
  }
  if (select_row >= 0 && select_row < list_->topLevelItemCount()) {
    list_->setCurrentItem(list_->topLevelItem(select_row));
  }
}

void CAccountsDialog::OnAdd() {
  if (const int refused = model_.PressAdd()) {
    CLocalPrompts::Show(this, refused);
    return;
  }
  CUserAddDialog add(&model_, this);
  if (CLocalPrompts::Run(&add) == QDialog::Accepted) Refresh(model_.RowCount() - 1);
}

void CAccountsDialog::OnDelete() {
  const int row = SelectedRow();
  const app::CAccountsModel::DeletePress press = model_.PressDelete(row);
  switch (press.step) {
    case app::CAccountsModel::DeleteStep::kNothing:
      return;
    case app::CAccountsModel::DeleteStep::kRefuse:
      CLocalPrompts::Show(this, press.message);
      return;
    case app::CAccountsModel::DeleteStep::kAsk:
      break;
  }
  if (!CLocalPrompts::Ask(this, press.message, 0, true)) return;
  if (const int failed = model_.ConfirmDelete(row)) CLocalPrompts::Show(this, failed);
  Refresh(row < model_.RowCount() ? row : model_.RowCount() - 1);
}

void CAccountsDialog::OnChange() {
  const int row = SelectedRow();
  if (!model_.CanChange(row)) return;
  CPasswordChangeDialog change(&model_, row, this);
  CLocalPrompts::Run(&change);
  Refresh(row);
}

void CAccountsDialog::OnDefault() {
  if (!CLocalPrompts::Ask(this, app::text::kMsgDefaultAccountsQuestion, app::text::kMsgDefaultAccountsCaption,
                          false)) {
    return;
  }
  if (const int failed = model_.ResetDefault()) CLocalPrompts::Show(this, failed);
  Refresh(0);
}

CUserAddDialog::CUserAddDialog(app::CAccountsModel* model, QWidget* parent) : QDialog(parent), model_(model) {
  setObjectName("CUserAddDialog");
  setWindowTitle("User Add");
  id_ = AccountField("userId", false, this);
  password_ = AccountField("password", true, this);
  confirm_ = AccountField("confirm", true, this);
  auto* form = new QFormLayout;
  form_dialog::AddRow(form, StringOr(app::text::kStrAccountsId, "ID"), id_);
  form_dialog::AddRow(form, StringOr(app::text::kStrAccountsPassword, "Password"), password_);
  form_dialog::AddRow(form, StringOr(app::text::kStrAccountsConfirm, "Confirm"), confirm_);
  QDialogButtonBox* box = form_dialog::OkCancel(this);
  connect(box, &QDialogButtonBox::accepted, this, &CUserAddDialog::OnOk);
  form_dialog::FinishLayout(this, form, box, 300);
  id_->setFocus();
}

void CUserAddDialog::OnOk() {
  const int message = model_->SubmitAdd(id_->text().toStdString(), password_->text().toStdString(),
                                        confirm_->text().toStdString());
  if (message != 0) {
    CLocalPrompts::Show(this, message);
    return;
  }
  accept();
}

CPasswordChangeDialog::CPasswordChangeDialog(app::CAccountsModel* model, int row, QWidget* parent)
    : QDialog(parent), model_(model), row_(row) {
  setObjectName("CPasswordChangeDialog");
  setWindowTitle("Password Change");
  auto* id = new QLineEdit(QString::fromStdString(model->Id(row)), this);
  id->setObjectName("userId");
  id->setReadOnly(true);
  password_ = AccountField("newPassword", true, this);
  confirm_ = AccountField("confirm", true, this);
  auto* form = new QFormLayout;
  form_dialog::AddRow(form, StringOr(app::text::kStrAccountsId, "ID"), id);
  form_dialog::AddRow(form, "New Password", password_);
  form_dialog::AddRow(form, "Password Confirm", confirm_);
  QDialogButtonBox* box = form_dialog::OkCancel(this);
  connect(box, &QDialogButtonBox::accepted, this, &CPasswordChangeDialog::OnOk);
  form_dialog::FinishLayout(this, form, box, 300);
  password_->setFocus();
}

void CPasswordChangeDialog::OnOk() {
  const int message =
      model_->SubmitChange(row_, password_->text().toStdString(), confirm_->text().toStdString());
  if (message != 0) {
    CLocalPrompts::Show(this, message);
    return;
  }
  accept();
}
