// tavrel: the desktop client. Chooses the language, the application font,
// the program and user folders, refuses a second copy for the same user
// folder, and runs the main window.
#include <QApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QMessageBox>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/single_instance.h"
#include "app/text_ids.h"
#include "app/texts.h"
#include "app/ui/main_window.h"
#include "app/ui/quit_on_signal.h"
#include "app/ui/theme.h"
#include "platform/clock.h"
#include "platform/user_folder.h"
#include "playback/ui/playback_panel.h"

namespace {

const char kUsage[] =
    "usage: tavrel [--home DIR]\n"
    "  --home DIR          user folder (default $TAVREL_HOME, else ~/.local/share/tavrel)\n"
    "test hooks:\n"
    "  --report-playback   print where the playback controls and recorded days are, and each change of\n"
    "                      the playback panel's state, steps, speed label and date\n"
    "  --playback-screenshot FILE  once playback shows video in every pane, write a PNG of the window\n"
    "  --connect-site NAME after the login, connect the directory's site NAME as the\n"
    "                      connect button would (repeatable)\n"
    "  --login ID:PASSWORD answer the local login dialog with this account\n"
    "  --screenshot FILE   once every pane of the shown site has video, write a PNG of the window and close\n"
    "  --maximise-cycle    before the screenshot, maximise and restore the window once\n"
    "  --report-sites      print where each site's tree item is once all are live, and each new current site\n"
    "  --report-events     print each event list row and each grid reaction to an event\n"
    "  --close-when-live   close the window once every connected site shows live video\n"
    "  --quit-after S      close the window after S seconds\n"
    "  --messages-to-stderr print message boxes on stderr (questions are answered OK)\n";

// The "SYSTEM" face with a 20-pixel cell, or the desktop's family at the
// same height where that face is missing.
QFont ApplicationFont() {
  QFont font = QApplication::font();
  if (QFontDatabase::hasFamily("SYSTEM")) font.setFamily("SYSTEM");
  font.setWeight(QFont::Normal);
  int pixels = 20;
  for (; pixels > 8; --pixels) {
    font.setPixelSize(pixels);
    if (QFontMetrics(font).height() <= 20) break;
  }
  return font;
}

}  // namespace

// Leak checking (sanitizer builds): fontconfig and the D-Bus library keep a
// few blocks for the life of the process on purpose.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\nleak:libdbus-1\n"; }

int main(int argc, char** argv) {
  std::string home;
  bool messages_to_stderr = false;
  CMainWindow::Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--messages-to-stderr") {
      messages_to_stderr = true;
    } else if (arg == "--report-playback") {
      options.report_playback = true;
    } else if (arg == "--playback-screenshot" && has_value) {
      options.playback_screenshot_path = argv[++i];
    } else if (arg == "--home" && has_value) {
      home = argv[++i];
    } else if (arg == "--connect-site" && has_value) {
      options.connect_sites.push_back(argv[++i]);
    } else if (arg == "--login" && has_value) {
      const std::string value = argv[++i];
      const size_t colon = value.find(':');
      if (colon == std::string::npos) {
        std::fprintf(stderr, "tavrel: --login wants ID:PASSWORD\n");
        return 2;
      }
      options.auto_login = true;
      options.auto_login_id = value.substr(0, colon);
      options.auto_login_password = value.substr(colon + 1);
    } else if (arg == "--screenshot" && has_value) {
      options.screenshot_path = argv[++i];
    } else if (arg == "--maximise-cycle") {
      options.maximise_cycle = true;
    } else if (arg == "--report-sites") {
      options.report_sites = true;
    } else if (arg == "--report-events") {
      options.report_events = true;
    } else if (arg == "--close-when-live") {
      options.close_when_live = true;
    } else if (arg == "--quit-after" && has_value) {
      options.quit_after_s = std::atoi(argv[++i]);
    } else {
      std::fprintf(stderr, "tavrel: unknown option '%s'\n%s", arg.c_str(), kUsage);
      return 2;
    }
  }

  QApplication application(argc, argv);
  app::ChooseLanguage();
  ApplyDarkTheme(application);
  application.setFont(ApplicationFont());
  const std::string exe = app::ExecutableFolder();
  app::SetProgramFolder(app::FindProgramFolder(exe, exe + "/../share/tavrel"));

  if (messages_to_stderr) {
    CMainWindow::SetMessageHook([](QWidget*, const QString&, const QString& text, bool question) {
      std::fprintf(stderr, "tavrel: message: %s\n", text.toLocal8Bit().constData());
      return question;
    });
    CPlaybackPanel::SetMessageHook([](QWidget*, const QString& text) {
      std::fprintf(stderr, "tavrel: message: %s\n", text.toLocal8Bit().constData());
    });
  }
  auto show_error = [&](const QString& text) {
    if (messages_to_stderr) {
      std::fprintf(stderr, "tavrel: message: %s\n", text.toLocal8Bit().constData());
    } else {
      QMessageBox::warning(nullptr, "Tavrel", text);
    }
  };

  const std::string folder = platform::ResolveUserFolder(home);
  if (!platform::SetUserFolder(folder)) {
    std::fprintf(stderr, "tavrel: cannot create the user folder %s\n", folder.c_str());
    show_error(QString::fromStdString("Cannot create the user folder " + folder));
    return 1;
  }
  app::CSingleInstance instance;
  const auto held = instance.Acquire(platform::UserFile("tavrel.lock"));
  if (held == app::CSingleInstance::Result::kHeldByAnother) {
    show_error(QString::fromStdString(app::LoadText(app::kMessage, app::text::kMsgSecondInstance)));
    return 1;
  }
  if (held == app::CSingleInstance::Result::kFailed) {
    std::fprintf(stderr, "tavrel: cannot lock %s\n", platform::UserFile("tavrel.lock").c_str());
    return 1;
  }

  // SIGTERM and SIGINT end the program as closing it does: the window's
  // shutdown stops the sessions and ends the log viewer it started.
  if (!app::InstallQuitSignals()) std::fprintf(stderr, "tavrel: cannot handle SIGTERM: %s\n", std::strerror(errno));
  app::WatchQuitSignals(application);

  int status = 0;
  {
    CMainWindow window(options);
    window.Initialise();
    window.show();
    status = application.exec();
  }
  std::printf("exit %lld\n", static_cast<long long>(platform::MonotonicMs()));
  std::fflush(stdout);
  return status;
}
