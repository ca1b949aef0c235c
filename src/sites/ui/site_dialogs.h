// The "Group" name dialog and the site dialog of the site directory, thin
// views over CGroupDialogModel and CSiteDialogModel; and the message hook
// that every window of the site directory and of the predefined camera lists
// shows its boxes through.
#pragma once
#include <QDialog>
#include <QString>

#include <cstddef>
#include <functional>
#include <string>

#include "sites/site_dialog_model.h"

class QComboBox;
class QLineEdit;

// Message boxes and yes/no questions of the site windows. The hook replaces
// the real boxes (tests answer through it without a modal loop).
class CSitePrompts {
 public:
  // message: the MESSAGE number behind text, or 0 for a built-in text.
  // Returns the answer to a question (true = Yes); ignored for a message.
  using Hook = std::function<bool(QWidget* parent, int message, const QString& text, bool question)>;

  static void Show(QWidget* parent, int message, const QString& text);
  static bool Ask(QWidget* parent, int message, const QString& text);
  // An empty hook restores the real boxes.
  static void SetHook(Hook hook);

  // The text of MESSAGE number, or fallback when the language file lacks it.
  static QString Message(int number, const char* fallback);
};

// Keeps the UTF-8 form of an edit's text within max_bytes: typing or pasting
// past the limit cuts the text before the character that would not fit.
void LimitUtf8Bytes(QLineEdit* edit, size_t max_bytes);

// "Group": the name of a new group, or a new name for a group. OK stays
// open with a message on an empty name or the name of another group.
class CGroupDialog : public QDialog {
  Q_OBJECT

 public:
  // renamed_group: index in dir of the group being renamed, or -1 to add one.
  explicit CGroupDialog(const SiteDirectoryData& dir, int renamed_group = -1, QWidget* parent = nullptr);

  // The name entered (valid after the dialog was accepted).
  std::string Name() const;

 private slots:
  void OnOk();

 private:
  CGroupDialogModel model_;
  QLineEdit* name_ = nullptr;
};

// The site dialog: name, address, user ID, password (masked), port range
// and channel count of a DVR site. Opens with the defaults of a new site, or
// with a stored site to modify (its channel count then shown read-only). OK
// stays open with a message while the checks refuse, among them a name that
// another site of any group has.
class CSiteDialog : public QDialog {
  Q_OBJECT

 public:
  // existing: the site to modify (copied), or nullptr to add one. dir is
  // copied for the duplicate-name check.
  explicit CSiteDialog(const SiteDirectoryData& dir, const SiteRecord* existing = nullptr,
                       QWidget* parent = nullptr);

  // The edited site (valid after the dialog was accepted): for a new site
  // every field; for a modified one the stored record with the new name,
  // address, user ID, password and, when another range was chosen, port.
  SiteRecord Record() const { return model_.Result(); }

 private slots:
  void OnOk();

 private:
  CSiteDialogModel model_;
  QLineEdit* name_ = nullptr;
  QLineEdit* address_ = nullptr;
  QLineEdit* user_ = nullptr;
  QLineEdit* password_ = nullptr;
  QComboBox* port_ = nullptr;
  QComboBox* channels_ = nullptr;
};
