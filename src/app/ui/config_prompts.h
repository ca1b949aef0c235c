// What the local login, accounts and configuration dialogs share: labels
// from the language file with an English stand-in, message boxes and
// questions, and running a sub-dialog. The three hooks are replaceable so
// tests can record messages, answer questions and fill sub-dialogs without
// a modal loop.
#pragma once
#include <QString>

#include <functional>

class QDialog;
class QWidget;

// Negative message numbers name fixed texts that have no language entry.
inline constexpr int kFixedLoginWriteFailed = -1;  // tavrel_login.ini could not be written
inline constexpr int kFixedBadAccountText = -2;    // an ID or password that cannot be stored
inline constexpr int kFixedConfigWriteFailed = -3; // tavrel_config.ini could not be written

// STRINGS number, or fallback when the language file has no text for it.
QString StringOr(int number, const char* fallback);
// The text of a MESSAGE number (negative: the fixed texts above).
QString MessageText(int number);

class CLocalPrompts {
 public:
  // Shows a message box with an OK button.
  using ShowHook = std::function<void(QWidget* parent, int message)>;
  // Asks a question; true for Yes (yes_no) or OK. caption 0 uses the
  // application title.
  using AskHook = std::function<bool(QWidget* parent, int message, int caption, bool yes_no)>;
  // Runs a modal sub-dialog and returns its result (QDialog::exec by default).
  using RunHook = std::function<int(QDialog* dialog)>;

  static void Show(QWidget* parent, int message);
  static bool Ask(QWidget* parent, int message, int caption, bool yes_no);
  static int Run(QDialog* dialog);

  // An empty hook restores the real message boxes or exec().
  static void SetShowHook(ShowHook hook);
  static void SetAskHook(AskHook hook);
  static void SetRunHook(RunHook hook);
};
