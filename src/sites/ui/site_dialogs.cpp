#include "sites/ui/site_dialogs.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

#include "app/text_ids.h"
#include "app/texts.h"
#include "sites/ui/form_dialog.h"

namespace {

CSitePrompts::Hook& HookRef() {
  static CSitePrompts::Hook hook;
  return hook;
}

QString StringOr(int number, const char* fallback) {
  return QString::fromStdString(app::LoadTextOr(app::kStrings, number, fallback));
}

QString Caption() { return StringOr(app::text::kStrAppTitle, "Tavrel"); }

QLineEdit* TextField(const char* name, size_t max_bytes, const std::string& text, QWidget* parent) {
  auto* edit = new QLineEdit(QString::fromStdString(text), parent);
  edit->setObjectName(name);
  LimitUtf8Bytes(edit, max_bytes);
  return edit;
}


QString RefusalText(const SiteDialogRefusal& refusal) {
  const std::string message = refusal.message != 0 ? app::LoadText(app::kMessage, refusal.message) : std::string();
  return QString::fromStdString(SiteDialogRefusalText(refusal, message));
}

}  // namespace

// ---------------------------------------------------------------------------

void CSitePrompts::Show(QWidget* parent, int message, const QString& text) {
  if (HookRef()) {
    HookRef()(parent, message, text, false);
    return;
  }
  QMessageBox::information(parent, Caption(), text);
}

bool CSitePrompts::Ask(QWidget* parent, int message, const QString& text) {
  if (HookRef()) return HookRef()(parent, message, text, true);
  return QMessageBox::question(parent, Caption(), text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) ==
         QMessageBox::Yes;
}

void CSitePrompts::SetHook(Hook hook) { HookRef() = std::move(hook); }

QString CSitePrompts::Message(int number, const char* fallback) {
  return QString::fromStdString(app::LoadTextOr(app::kMessage, number, fallback));
}

void LimitUtf8Bytes(QLineEdit* edit, size_t max_bytes) {
  // No character takes fewer bytes than UTF-16 units, so this bound is looser
  // than the byte limit and only keeps pastes short.
  edit->setMaxLength(static_cast<int>(max_bytes));
  QObject::connect(edit, &QLineEdit::textEdited, edit, [edit, max_bytes](const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    if (static_cast<size_t>(utf8.size()) <= max_bytes && !utf8.contains('\0')) return;
    const int cursor = edit->cursorPosition();
    const QString cut =
        QString::fromStdString(CutSiteText(std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())),
                                           max_bytes));
    edit->setText(cut);
    edit->setCursorPosition(std::min(cursor, static_cast<int>(cut.size())));
  });
}

// ---------------------------------------------------------------------------

CGroupDialog::CGroupDialog(const SiteDirectoryData& dir, int renamed_group, QWidget* parent)
    : QDialog(parent), model_(dir, renamed_group) {
  setObjectName("CGroupDialog");
  setWindowTitle("Group");
  name_ = TextField("groupName", kMaxGroupNameBytes, model_.InitialName(), this);
  name_->selectAll();
  auto* form = new QFormLayout;
  form_dialog::AddRow(form, "&Name", name_);
  QDialogButtonBox* box = form_dialog::OkCancel(this);
  connect(box, &QDialogButtonBox::accepted, this, &CGroupDialog::OnOk);
  form_dialog::FinishLayout(this, form, box, 320);
  setModal(true);
  name_->setFocus();
}

std::string CGroupDialog::Name() const { return name_->text().toStdString(); }

void CGroupDialog::OnOk() {
  const SiteDialogRefusal refusal = model_.Submit(Name());
  if (refusal.Refused()) {
    CSitePrompts::Show(this, refusal.message, RefusalText(refusal));
    name_->setFocus();
    return;
  }
  accept();
}

// ---------------------------------------------------------------------------

CSiteDialog::CSiteDialog(const SiteDirectoryData& dir, const SiteRecord* existing, QWidget* parent)
    : QDialog(parent), model_(dir, existing) {
  setObjectName("CSiteDialog");
  setWindowTitle(StringOr(48, "Site"));

  name_ = TextField("siteName", kSiteFieldChars, model_.Name(), this);
  address_ = TextField("siteAddress", kSiteFieldChars, model_.Address(), this);
  user_ = TextField("siteUserId", kSiteFieldChars, model_.UserId(), this);
  password_ = TextField("sitePassword", kSiteFieldChars, model_.Password(), this);
  password_->setEchoMode(QLineEdit::Password);
  connect(name_, &QLineEdit::textChanged, this, [this](const QString& s) { model_.SetName(s.toStdString()); });
  connect(address_, &QLineEdit::textChanged, this,
          [this](const QString& s) { model_.SetAddress(s.toStdString()); });
  connect(user_, &QLineEdit::textChanged, this, [this](const QString& s) { model_.SetUserId(s.toStdString()); });
  connect(password_, &QLineEdit::textChanged, this,
          [this](const QString& s) { model_.SetPassword(s.toStdString()); });

  port_ = new QComboBox(this);
  port_->setObjectName("sitePort");
  for (const std::string& label : model_.PortLabels()) port_->addItem(QString::fromStdString(label));
  port_->setCurrentIndex(model_.PortIndex());
  connect(port_, &QComboBox::currentIndexChanged, this, [this](int index) { model_.SetPortIndex(index); });

  channels_ = new QComboBox(this);
  channels_->setObjectName("siteChannels");
  for (const std::string& label : model_.ChannelLabels()) channels_->addItem(QString::fromStdString(label));
  channels_->setCurrentIndex(model_.ChannelIndex());
  channels_->setEnabled(model_.ChannelEditable());
  connect(channels_, &QComboBox::currentIndexChanged, this, [this](int index) { model_.SetChannelIndex(index); });

  auto* form = new QFormLayout;
  form_dialog::AddRow(form, StringOr(3, "Site name"), name_);
  form_dialog::AddRow(form, StringOr(5, "Address"), address_);
  form_dialog::AddRow(form, StringOr(6, "User ID"), user_);
  form_dialog::AddRow(form, StringOr(7, "Password"), password_);
  form_dialog::AddRow(form, StringOr(8, "Port"), port_);
  form_dialog::AddRow(form, StringOr(48, "Channels"), channels_);
  QDialogButtonBox* box = form_dialog::OkCancel(this);
  connect(box, &QDialogButtonBox::accepted, this, &CSiteDialog::OnOk);
  form_dialog::FinishLayout(this, form, box, 320);
  setModal(true);
  name_->setFocus();
}

void CSiteDialog::OnOk() {
  const SiteDialogRefusal refusal = model_.Submit();
  if (!refusal.Refused()) {
    accept();
    return;
  }
  CSitePrompts::Show(this, refusal.message, RefusalText(refusal));
  // Put the cursor where the refusal points.
  QLineEdit* field = name_;
  if (refusal.error == SiteFieldError::kEmptyAddress) field = address_;
  field->setFocus();
  field->selectAll();
}
