// One channel on both live streams at once: a site showing a single pane
// gets that channel's video on the primary and the secondary stream (the
// simulator's --duplicate-video), so both stream threads call the site's
// consumer with the same pictures. The channel's decoder must take one
// stream only (pictures predicted from the one before cannot go through it
// twice), and every picture must come out whole.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "dvrsim/simulator.h"
#include "mediagen/render.h"
#include "sites/dvr_site.h"
#include "streaming/live_stream.h"

namespace {

struct Chroma {
  int u = 0, v = 0;
};

// The U and V of a channel's colour field in the simulator's pictures.
Chroma FieldChroma(int channel) {
  uint8_t y[4], u[1], v[1];
  mediagen::DrawPlainBackground(channel, 2, 2, mediagen::PlanarPicture{y, u, v, 2, 1});
  return {u[0], v[0]};
}

// Shows one channel alone and checks every picture it is given: the size of
// the simulator's pictures; in each of eight horizontal bands mostly the
// channel's colour field, the rest the neutral white and black of the bar,
// the digits and the labels; and the moving bar in the same place on every
// row between the labels and the digits. A picture mixed from two decodes,
// or with parts left undecoded, fails.
class CheckingSink : public IPictureSink {
 public:
  static constexpr int kBands = 8;

  explicit CheckingSink(int channel) : channel_(channel) {}

  bool IsSuspended() override { return false; }
  int SoleChannel() override { return channel_.load(); }
  uint16_t PaneChannelMask() override { return static_cast<uint16_t>(1u << channel_.load()); }
  void SetRate(int, int) override {}
  void SetFrameRate(int, int) override {}
  void SetChannelTime(int, const std::tm&) override {}
  void SetChannelName(int, const char*) override {}
  void ShowPicture(int channel, int width, int height, int size_bytes, const uint8_t* pixels) override {
    const std::string fault = Check(channel, width, height, size_bytes, pixels);
    std::lock_guard<std::mutex> l(lock_);
    ++pictures_[channel];
    threads_[channel].insert(std::this_thread::get_id());
    if (!fault.empty() && faults_.size() < 10) faults_.push_back(fault);
    changed_.notify_all();
  }

  void Show(int channel) { channel_.store(channel); }
  // Waits up to timeout for a fault; true when one came.
  bool WaitForFault(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> l(lock_);
    return changed_.wait_for(l, timeout, [&] { return !faults_.empty(); });
  }
  std::vector<std::string> Faults() {
    std::lock_guard<std::mutex> l(lock_);
    return faults_;
  }
  int Pictures(int channel) {
    std::lock_guard<std::mutex> l(lock_);
    return pictures_[channel];
  }
  size_t Threads(int channel) {
    std::lock_guard<std::mutex> l(lock_);
    return threads_[channel].size();
  }

 private:
  static std::string Check(int channel, int width, int height, int size_bytes, const uint8_t* pixels) {
    std::ostringstream why;
    why << "channel " << channel + 1 << ": ";
    if (width != 176 || height != 144 || size_bytes != width * height * 2 || pixels == nullptr) {
      why << width << "x" << height << " in " << size_bytes << " bytes";
      return why.str();
    }
    // The bar (8 pixels of white, full height) starts at the same column on
    // every row clear of the labels (top and bottom 12 rows) and the digits
    // (rows 54..89).
    int bar_column = -1;
    for (int y = 12; y < height - 12; ++y) {
      if (y >= 50 && y < 94) continue;
      const uint8_t* row = pixels + static_cast<size_t>(y) * width * 2;
      int first = -1;
      for (int x = 0; x < width && first < 0; ++x) {
        if (row[2 * x] > 180 && row[2 * ((x + 7) % width)] > 180) first = x;
      }
      if (bar_column < 0) bar_column = first;
      if (first < 0 || first != bar_column) {
        why << "the bar starts at column " << first << " on row " << y << ", at " << bar_column << " above";
        return why.str();
      }
    }
    const Chroma field = FieldChroma(channel);
    auto near = [](int a, int b) { return std::abs(a - b) <= 12; };
    for (int band = 0; band < kBands; ++band) {
      int in_field = 0, neutral = 0, other = 0;
      for (int y = band * height / kBands; y < (band + 1) * height / kBands; ++y) {
        const uint8_t* row = pixels + static_cast<size_t>(y) * width * 2;
        for (int x = 0; x < width; x += 2) {
          const int u = row[2 * x + 1], v = row[2 * x + 3];
          if (near(u, field.u) && near(v, field.v)) {
            ++in_field;
          } else if (near(u, 128) && near(v, 128)) {
            ++neutral;
          } else {
            ++other;
          }
        }
      }
      const int all = in_field + neutral + other;
      if (in_field * 2 < all || other * 10 > all) {
        why << "band " << band << " has " << in_field << " samples of the field, " << neutral << " neutral, "
            << other << " of other colours";
        return why.str();
      }
    }
    return "";
  }

  std::atomic<int> channel_;
  std::mutex lock_;
  std::condition_variable changed_;
  std::map<int, int> pictures_;
  std::map<int, std::set<std::thread::id>> threads_;
  std::vector<std::string> faults_;
};

class CodeWaiter : public ISiteObserver {
 public:
  void OnSiteCode(int, int code) override {
    std::lock_guard<std::mutex> l(lock_);
    codes_.insert(code);
    changed_.notify_all();
  }
  void OnSiteEvent(int, const EventRecord&) override {}
  bool WaitFor(int code) {
    std::unique_lock<std::mutex> l(lock_);
    return changed_.wait_for(l, std::chrono::seconds(10), [&] { return codes_.count(code) != 0; });
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  std::set<int> codes_;
};

TEST(DualStreamDecode, OneChannelFromBothStreamsComesOutWhole) {
  dvrsim::SimConfig c;
  c.base_port = 0;
  c.channels = 4;
  c.resolution = 3;  // QCIF
  c.bitrate_bps = 512000;
  c.duplicate_video = true;
  c.prepare_media = true;
  dvrsim::Simulator sim(c, [](std::string_view) {});
  std::string error;
  ASSERT_TRUE(sim.Start(&error)) << error;

  SiteRecord r;
  r.address = "127.0.0.1";
  r.base_port = sim.base_port();
  r.user_id = "admin";
  r.password = "1234";
  r.channel_count = 4;
  CodeWaiter codes;
  CheckingSink sink(1);
  CDvrSite site(r);
  site.SetObserver(&codes);
  site.SetPictureSink(&sink);
  site.StartControl();
  ASSERT_TRUE(codes.WaitFor(kNotifyLoggedIn));
  site.SendFollowUpRequests();
  ASSERT_TRUE(codes.WaitFor(51));
  site.SetLiveDisplay(true);
  site.StartLive();
  site.UpdateLiveMask();
  ASSERT_TRUE(codes.WaitFor(kNotifyStreamRunning));

  // Five seconds of channel 2 alone, then five of channel 3 (the masks of
  // both streams change under way).
  for (int channel : {1, 2}) {
    sink.Show(channel);
    site.UpdateLiveMask();
    EXPECT_FALSE(sink.WaitForFault(std::chrono::seconds(5)));
  }
  site.StopAll();
  sim.Stop();

  EXPECT_EQ(sink.Faults(), std::vector<std::string>{});
  // 25 pictures a second. Which thread draws a picture depends on when the
  // streams take up their new masks; the pictures are whole either way.
  for (int channel : {1, 2}) EXPECT_GT(sink.Pictures(channel), 100) << channel;
  EXPECT_GT(site.LivePair()->Secondary().AssemblyCounts().units, 200u);
}

}  // namespace
