// Helpers of the view tests: an offscreen Qt application, solid YUY2
// pictures and a grid on a fixed monitor without a window.
#pragma once
#include <QGuiApplication>
#include <QImage>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <memory>
#include <thread>
#include <vector>

#include "platform/notice.h"
#include "view/dvr_view.h"

// The application object comes from the tests' main (view_main.cpp).
inline void EnsureQtApp() {
  if (QCoreApplication::instance() == nullptr) std::abort();
}

inline std::vector<uint8_t> SolidYuy2(int width, int height, uint8_t y, uint8_t u, uint8_t v) {
  std::vector<uint8_t> p(static_cast<size_t>(width) * height * 2);
  for (size_t i = 0; i < p.size(); i += 4) {
    p[i] = y;
    p[i + 1] = u;
    p[i + 2] = y;
    p[i + 3] = v;
  }
  return p;
}

// A grid on a 720 x 500 monitor whose video area is (0, 0, 700, 500).
struct GridFixture {
  platform::RecordingNoticeSink notices;
  std::unique_ptr<CDvrView> view;
  GridFixture() {
    EnsureQtApp();
    platform::SetNoticeSink(&notices);
    view = std::make_unique<CDvrView>();
    MonitorInfo m;
    m.rect = QRect(0, 0, 720, 500);
    m.work = m.rect;
    view->UseMonitor(m);
    view->InitSurfaces();
    view->SetVideoArea(0, 0, 700, 500);
  }
  ~GridFixture() { platform::SetNoticeSink(nullptr); }
  int Feed(int channel, const std::vector<uint8_t>& pixels, int width = 352, int height = 288) {
    return view->ShowPicture(PictureRecord{channel, channel, width, height, width * height * 2, pixels.data()});
  }
};

inline QRgb Px(const QImage& image, int x, int y) { return image.pixel(x, y) & 0xFFFFFFu; }

// Ends the test program when the code under test does not come back within
// the bound (a deadlock would otherwise hang the suite).
class Watchdog {
 public:
  Watchdog(std::chrono::seconds bound, const char* what)
      : thread_([done = done_.get_future(), bound, what] {
          if (done.wait_for(bound) == std::future_status::ready) return;
          std::fprintf(stderr, "watchdog: %s did not return in time\n", what);
          std::_Exit(3);
        }) {}
  ~Watchdog() {
    done_.set_value();
    thread_.join();
  }

 private:
  std::promise<void> done_;
  std::thread thread_;
};
