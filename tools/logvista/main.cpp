// logvista: the event log viewer the client starts. Shows the hourly log
// files of an event folder in a window, or with --export-csv writes their
// rows as CSV and exits without opening one.
#include <QApplication>
#include <QHeaderView>
#include <QTableView>
#include <QFileInfo>
#include <QTimer>
#include <QWindow>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "app/ui/theme.h"
#include "logvista/csv_export.h"
#include "logvista/log_store.h"
#include "app/ui/quit_on_signal.h"
#include "logvista/viewer_window.h"
#include "platform/user_folder.h"

namespace {

const char kUsage[] =
    "usage: logvista [EVENT_FOLDER]\n"
    "       logvista [EVENT_FOLDER] --export-csv FILE [--from \"YYYY-MM-DD HH\"] [--to \"YYYY-MM-DD HH\"]\n"
    "Shows the hourly event log files of EVENT_FOLDER (default: the \"event\" folder of\n"
    "the user folder, $TAVREL_HOME or ~/.local/share/tavrel).\n"
    "  --export-csv FILE   write the events as CSV (RFC 4180, oldest first) to FILE, \"-\" for\n"
    "                      the standard output, print \"exported N FILE\" and exit\n"
    "  --from, --to        only the hours from/to these (inclusive); a date alone means its\n"
    "                      first or last hour\n"
    "test hooks:\n"
    "  --screenshot FILE   once the window shows the log, write a PNG of it, print\n"
    "                      \"screenshot FILE rows=N rows-area=X,Y,W,H row-height=H\" and exit\n"
    "exit status: 0 done, 1 the CSV or picture could not be written, 2 wrong arguments\n";

struct Arguments {
  std::string folder;
  std::string export_path;
  std::string screenshot_path;
  int64_t from_hour = 0;
  int64_t to_hour = INT64_MAX;
  bool hours_given = false;
};

// False (after a message) when the arguments are wrong.
bool ParseArguments(int argc, char** argv, Arguments* args) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    if ((arg == "--export-csv" || arg == "--screenshot") && has_value) {
      (arg == "--export-csv" ? args->export_path : args->screenshot_path) = argv[++i];
    } else if ((arg == "--from" || arg == "--to") && has_value) {
      const auto hour = logvista::ParseHourArgument(argv[++i], arg == "--to");
      if (!hour) {
        std::fprintf(stderr, "logvista: %s wants \"YYYY-MM-DD HH\" or \"YYYY-MM-DD\", not \"%s\"\n", arg.c_str(), argv[i]);
        return false;
      }
      (arg == "--from" ? args->from_hour : args->to_hour) = *hour;
      args->hours_given = true;
    } else if (!arg.empty() && arg[0] != '-' && args->folder.empty()) {
      args->folder = arg;
    } else {
      std::fprintf(stderr, "logvista: unexpected argument \"%s\"\n%s", arg.c_str(), kUsage);
      return false;
    }
  }
  if (args->hours_given && args->export_path.empty()) {
    std::fprintf(stderr, "logvista: --from and --to go with --export-csv\n");
    return false;
  }
  if (args->folder.empty()) args->folder = platform::ResolveUserFolder("") + "/event";
  return true;
}

int ExportCsv(const Arguments& args) {
  logvista::EventStore store(args.folder);
  const logvista::RefreshResult result = store.Refresh();
  for (const std::string& note : result.notes) std::fprintf(stderr, "logvista: %s\n", note.c_str());
  if (!result.folder_present) std::fprintf(stderr, "logvista: no event folder at %s\n", args.folder.c_str());
  logvista::Filter filter;
  filter.from_hour = args.from_hour;
  filter.to_hour = args.to_hour;
  const auto rows = store.Select(filter, logvista::Order{logvista::Column::kTime, false});
  if (!logvista::WriteCsvFile(args.export_path, rows)) {
    std::fprintf(stderr, "logvista: cannot write %s\n", args.export_path.c_str());
    return 1;
  }
  // With "-" the rows went to the standard output; the count goes to stderr.
  std::fprintf(args.export_path == "-" ? stderr : stdout, "exported %zu %s\n", rows.size(), args.export_path.c_str());
  return 0;
}

// Writes the window's picture once it is on screen, then ends the program.
void ScreenshotWhenShown(logvista::ViewerWindow* window, const std::string& path) {
  auto* timer = new QTimer(window);
  auto waited = std::make_shared<int>(0);
  QObject::connect(timer, &QTimer::timeout, window, [window, timer, waited, path] {
    const QWindow* handle = window->windowHandle();
    // Up to two seconds for the server to map the window; grab() draws it
    // either way.
    if ((handle == nullptr || !handle->isExposed()) && ++*waited < 40) return;
    timer->stop();
    const QPixmap shot = window->grab();
    const bool saved = shot.save(QString::fromStdString(path), "PNG");
    QTableView& table = window->table();
    const QPoint origin = table.viewport()->mapTo(window, QPoint(0, 0));
    std::printf("%s %s rows=%d rows-area=%d,%d,%d,%d row-height=%d\n", saved ? "screenshot" : "screenshot-failed",
                path.c_str(), window->model().rowCount(), origin.x(), origin.y(), table.viewport()->width(),
                table.viewport()->height(), table.verticalHeader()->defaultSectionSize());
    std::fflush(stdout);
    QCoreApplication::exit(saved ? 0 : 1);
  });
  timer->start(50);
}

}  // namespace

// Leak checking (sanitizer builds): fontconfig and the D-Bus library keep a
// few blocks for the life of the process on purpose.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\nleak:libdbus-1\n"; }

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
  }
  Arguments args;
  if (!ParseArguments(argc, argv, &args)) return 2;
  if (!args.export_path.empty()) return ExportCsv(args);

  // Before the application exists, so a SIGTERM sent during start-up is
  // kept and ends the event loop as soon as it runs.
  if (!app::InstallQuitSignals()) std::fprintf(stderr, "logvista: cannot handle SIGTERM: %s\n", std::strerror(errno));
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("logvista"));
  ApplyDarkTheme(application);
  app::WatchQuitSignals(application);

  logvista::ViewerWindow window(args.folder);
  window.show();
  std::printf("loaded %zu events from %s\n", window.store().entries().size(), args.folder.c_str());
  std::fflush(stdout);
  if (!args.screenshot_path.empty()) ScreenshotWhenShown(&window, args.screenshot_path);
  return application.exec();
}
