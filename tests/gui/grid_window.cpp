// A window hosting the video grid, fed by the site engine against a DVR
// (the simulator in tests). Once every one of the 16 channels has shown a
// picture it grabs the screen into a PNG file, prints where the grid is on
// the screen, and ends.
//   grid_window --port BASE --out FILE [--seconds N]
#include <QApplication>
#include <QMetaObject>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sites/dvr_site.h"
#include "view/dvr_view.h"
#include "view/ui/dvr_view_widget.h"

namespace {

// Hands the site's codes to the user-interface thread.
class SiteCodes : public ISiteObserver {
 public:
  explicit SiteCodes(CDvrSite* site) : site_(site) {}
  void OnSiteCode(int, int code) override {
    QMetaObject::invokeMethod(qApp, [this, code] { Handle(code); }, Qt::QueuedConnection);
  }
  void OnSiteEvent(int, const EventRecord&) override {}

 private:
  void Handle(int code) {
    if (code == kNotifyLoggedIn) site_->SendFollowUpRequests();
    if (code == 51 && !site_->LiveStarted()) {
      site_->StartLive();
      site_->SetLiveDisplay(true);
      site_->UpdateLiveMask();
      site_->RequestCameraNames();
    }
  }
  CDvrSite* site_;
};

}  // namespace

// fontconfig and the D-Bus library keep a few blocks for the life of the
// process on purpose.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\nleak:libdbus-1\n"; }

int main(int argc, char** argv) {
  int port = 0;
  int seconds = 40;
  std::string out;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--port") == 0) port = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--out") == 0) out = argv[i + 1];
    if (std::strcmp(argv[i], "--seconds") == 0) seconds = std::atoi(argv[i + 1]);
  }
  if (port <= 0 || out.empty()) {
    std::fprintf(stderr, "usage: grid_window --port BASE --out FILE [--seconds N]\n");
    return 2;
  }
  QApplication app(argc, argv);
  QWidget main_window;
  main_window.setWindowTitle("Tavrel grid");
  main_window.setGeometry(0, 0, 780, 560);
  main_window.setStyleSheet("background: #303030");
  CDvrView view;
  CDvrViewWidget grid(&view, &main_window);
  grid.setGeometry(22, 33, 728, 500);
  main_window.show();
  if (grid.InitSurfaces() != 1) {
    std::fprintf(stderr, "grid_window: no surfaces\n");
    return 1;
  }
  view.SetVideoArea(0, 0, 728, 500);
  view.SetOsdFlags(0x01F7);
  view.SetSplit(16, 0);

  SiteRecord record;
  record.name = record.address = "127.0.0.1";
  record.base_port = port;
  record.user_id = "netuser";
  record.password = "pass";
  CDvrSite site(record);
  SiteCodes codes(&site);
  site.SetObserver(&codes);
  site.SetPictureSink(&view);
  site.StartControl();

  int status = 1;
  int settled_ticks = 0;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    for (int ch = 0; ch < 16; ++ch) {
      if (!view.HasVideo(ch)) return;
    }
    // Every channel delivers: let rates and names arrive, then grab.
    if (++settled_ticks < 30) return;
    const QPixmap shot = main_window.screen()->grabWindow(0);
    const QPoint at = grid.mapToGlobal(QPoint(0, 0));
    if (shot.save(QString::fromStdString(out), "PNG")) {
      std::printf("grid x=%d y=%d w=%d h=%d\n", at.x(), at.y(), grid.width(), grid.height());
      std::fflush(stdout);
      status = 0;
    }
    app.quit();
  });
  poll.start(100);
  QTimer::singleShot(seconds * 1000, &app, [&] { app.quit(); });
  app.exec();
  site.SetPictureSink(nullptr);
  site.StopAll();
  if (status != 0) std::fprintf(stderr, "grid_window: not every channel showed a picture\n");
  return status;
}
