// Runs a live stream's receive loop on its own worker thread against a
// loopback DVR that admits it and then sends the fuzz input as the rest of
// the stream. The loop must end when the stream ends, and every unit it
// hands to the frame callback must lie within the unit buffer and be
// followed by zeroed padding. The control session the stream is admitted
// with is logged in once, against a second loopback DVR that keeps it alive.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include "loopback_peer.h"
#include "protocol/control_session.h"
#include "streaming/frame_header.h"
#include "streaming/live_stream.h"

namespace {

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "live_stream_fuzz: %s\n", what);
    std::abort();
  }
}

constexpr uint16_t kSessionId = 0x0456;

// A control session logged in to a DVR that sends a keep-alive every second.
struct LoggedInControl {
  LoopbackPeer peer;
  CControlSession control;

  LoggedInControl() {
    std::thread([this] {
      const int fd = peer.Accept();
      uint16_t command = 0;
      std::vector<uint8_t> request;
      if (fd < 0 || !LoopbackPeer::ReadMessage(fd, &command, &request)) return;
      const std::vector<uint8_t> accept = LoopbackPeer::Frame(0x1014, {0, 1, kSessionId >> 8, kSessionId & 0xFF});
      LoopbackPeer::WriteAll(fd, accept.data(), accept.size());
      const std::vector<uint8_t> keep_alive = LoopbackPeer::Frame(0x1040, {});
      uint8_t sink[4096];
      for (;;) {
        if (!LoopbackPeer::WriteAll(fd, keep_alive.data(), keep_alive.size())) return;
        while (platform::RecvSomeNoWait(fd, sink, sizeof sink) > 0) {
        }
        std::this_thread::sleep_for(std::chrono::seconds(1));
      }
    }).detach();
    control.StartSession("127.0.0.1", peer.Port(), "operator", "secret");
    for (int i = 0; i < 500 && control.GetSessionId() != kSessionId; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    Check(control.GetSessionId() == kSessionId, "the control session did not log in");
  }
};

struct StreamWatch {
  std::mutex lock;
  std::condition_variable changed;
  bool ended = false;

  static void OnNotify(int code, void* user) {
    auto* w = static_cast<StreamWatch*>(user);
    if (code != kNotifyStreamEnded) return;
    std::lock_guard<std::mutex> l(w->lock);
    w->ended = true;
    w->changed.notify_all();
  }
  static void OnFrame(const uint8_t* record, int record_bytes, void*) {
    Check(record != nullptr && record_bytes >= 0 && record_bytes <= CFragmentAssembler::kUnitCapacity,
          "a unit outside the unit buffer");
    volatile uint8_t sum = 0;
    for (int i = 0; i < record_bytes; ++i) sum = sum + record[i];
    for (int i = 0; i < CFragmentAssembler::kPaddingSize; ++i) {
      Check(record[record_bytes + i] == 0, "a unit without zeroed padding");
    }
    streaming::FrameInfo info;
    (void)streaming::ParseFrameHeaderQuiet(record, static_cast<size_t>(record_bytes), &info);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 262144) return 0;
  // Both live as long as the process; the control session's threads keep running.
  static LoggedInControl* control = new LoggedInControl;
  static LoopbackPeer* dvr = new LoopbackPeer;

  bool admitted = false;
  std::thread dvr_thread([&] {
    const int fd = dvr->Accept();
    if (fd < 0) return;
    uint16_t command = 0;
    std::vector<uint8_t> payload;
    if (LoopbackPeer::ReadMessage(fd, &command, &payload) && command == 0x1021 && payload.size() == 2 &&
        ((payload[0] << 8) | payload[1]) == kSessionId) {
      const std::vector<uint8_t> ok = LoopbackPeer::Frame(0x1022, {0, 1});
      // The start request of a primary stream follows the admission.
      admitted = LoopbackPeer::WriteAll(fd, ok.data(), ok.size()) && LoopbackPeer::ReadMessage(fd, &command, &payload) &&
                 command == 0x4100 && payload.size() == 4;
      if (admitted) LoopbackPeer::WriteAll(fd, data, size);
    }
    LoopbackPeer::FinishAndClose(fd);
  });

  StreamWatch watch;
  {
    CLiveStream stream;
    stream.SetStreamKind(1);
    stream.SetNotifyCallback(&StreamWatch::OnNotify, &watch);
    stream.SetFrameCallback(&StreamWatch::OnFrame, &watch);
    stream.StartThread("127.0.0.1", dvr->Port(), &control->control);
    {
      std::unique_lock<std::mutex> l(watch.lock);
      // A message begun but never finished may hold the loop for its rest
      // time-out (10 s); nothing else should take long.
      Check(watch.changed.wait_for(l, std::chrono::seconds(30), [&] { return watch.ended; }),
            "the receive loop did not end with the stream");
    }
    stream.Stop();
  }
  dvr_thread.join();
  Check(admitted, "the stream was not admitted and started");
  return 0;
}
