// Live stream sessions: reassembly of fragments, admission with the control
// session's id, start requests by stream kind, masks, the pair, and stops.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/clock.h"
#include "protocol/control_session.h"
#include "streaming/live_stream.h"
#include "support/fake_peer.h"

namespace {

std::vector<uint8_t> Fragment(uint16_t first_word, uint16_t second_word, uint8_t count, uint8_t index,
                              const std::vector<uint8_t>& data) {
  std::vector<uint8_t> p(CFragmentAssembler::kFragmentHeaderSize, 0);
  platform::PutU16BE(p.data() + 2, first_word);
  platform::PutU16BE(p.data() + 4, second_word);
  p[20] = count;
  p[21] = index;
  p.insert(p.end(), data.begin(), data.end());
  return p;
}

bool Feed(CFragmentAssembler& a, const std::vector<uint8_t>& fragment) {
  return a.Feed(fragment.data(), static_cast<int>(fragment.size()));
}

TEST(Assembler, CollectsUnitsAndDropsBrokenOnes) {
  CFragmentAssembler a;
  // One fragment: delivered at once, with zeroed padding after it.
  ASSERT_TRUE(Feed(a, Fragment(1, 2, 1, 0, {7, 8, 9})));
  EXPECT_EQ(a.UnitBytes(), 3);
  EXPECT_EQ(a.Unit()[2], 9);
  for (int i = 0; i < CFragmentAssembler::kPaddingSize; ++i) ASSERT_EQ(a.Unit()[3 + i], 0);

  // Index 0 then index 2 of the same unit: appended (only identifiers and the
  // last index are checked).
  EXPECT_FALSE(Feed(a, Fragment(5, 6, 3, 0, {1, 1})));
  ASSERT_TRUE(Feed(a, Fragment(5, 6, 3, 2, {2})));
  EXPECT_EQ(a.UnitBytes(), 3);
  EXPECT_EQ(a.Unit()[2], 2);

  // A foreign fragment drops the unit; its later fragments are ignored until
  // the next index 0.
  EXPECT_FALSE(Feed(a, Fragment(5, 7, 3, 0, {1})));
  EXPECT_FALSE(Feed(a, Fragment(9, 9, 3, 1, {1})));
  EXPECT_FALSE(Feed(a, Fragment(5, 7, 3, 1, {1})));
  EXPECT_FALSE(Feed(a, Fragment(5, 7, 3, 2, {1})));
  ASSERT_TRUE(Feed(a, Fragment(5, 8, 2, 0, {4})) || Feed(a, Fragment(5, 8, 2, 1, {5})));
  EXPECT_EQ(a.UnitBytes(), 2);

  // Payloads too short for the fragment header are ignored.
  const uint8_t tiny[10] = {};
  EXPECT_FALSE(a.Feed(tiny, sizeof tiny));

  // A unit longer than the buffer is dropped, and the next one still arrives.
  std::vector<uint8_t> chunk(60000, 0xAA);
  EXPECT_FALSE(Feed(a, Fragment(3, 3, 6, 0, chunk)));
  for (uint8_t i = 1; i < 5; ++i) EXPECT_FALSE(Feed(a, Fragment(3, 3, 6, i, chunk)));  // 300,000 > 262,144
  EXPECT_FALSE(Feed(a, Fragment(3, 3, 6, 5, chunk)));
  ASSERT_TRUE(Feed(a, Fragment(4, 4, 1, 0, {1})));
  EXPECT_EQ(a.UnitBytes(), 1);

  // Exactly the capacity fits.
  std::vector<uint8_t> quarter(CFragmentAssembler::kUnitCapacity / 4, 0x11);
  for (uint8_t i = 0; i < 3; ++i) EXPECT_FALSE(Feed(a, Fragment(6, 6, 4, i, quarter)));
  ASSERT_TRUE(Feed(a, Fragment(6, 6, 4, 3, quarter)));
  EXPECT_EQ(a.UnitBytes(), CFragmentAssembler::kUnitCapacity);

  // A new start while a unit is being collected drops that unit.
  EXPECT_FALSE(Feed(a, Fragment(7, 7, 2, 0, {1})));
  ASSERT_TRUE(Feed(a, Fragment(8, 8, 1, 0, {2})));

  // Every unit above accounted for: six delivered (three from several
  // fragments), one too long, two left broken.
  const CFragmentAssembler::Counts c = a.GetCounts();
  EXPECT_EQ(c.units, 6u);
  EXPECT_EQ(c.multi_fragment_units, 3u);
  EXPECT_EQ(c.dropped_oversize, 1u);
  EXPECT_EQ(c.dropped_broken, 2u);
}

// A logged-in control session against a scripted peer.
struct LoggedIn {
  FakePeer control_peer;
  CControlSession control;
  std::atomic<bool> logged_in{false};
  LoggedIn() {
    control.SetNotifyCallback([](int code, void* user) {
      if (code == 1) static_cast<LoggedIn*>(user)->logged_in = true;
    }, this);
    control.StartSession("127.0.0.1", control_peer.Port(), "u", "p");
    EXPECT_TRUE(control_peer.Accept());
    EXPECT_TRUE(control_peer.AnswerLogin(1, 0x0456));
    for (int i = 0; i < 200 && !logged_in; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(logged_in.load());
  }
};

struct Frames {
  std::mutex lock;
  std::condition_variable arrived;
  std::vector<std::vector<uint8_t>> units;
  std::vector<int> notes;
  static void OnFrame(const uint8_t* record, int bytes, void* user) {
    auto* f = static_cast<Frames*>(user);
    std::lock_guard<std::mutex> l(f->lock);
    f->units.emplace_back(record, record + bytes);
    f->arrived.notify_all();
  }
  static void OnNotify(int code, void* user) {
    auto* f = static_cast<Frames*>(user);
    std::lock_guard<std::mutex> l(f->lock);
    f->notes.push_back(code);
    f->arrived.notify_all();
  }
  bool WaitUnits(size_t n, long ms) {
    std::unique_lock<std::mutex> l(lock);
    return arrived.wait_for(l, std::chrono::milliseconds(ms), [&] { return units.size() >= n; });
  }
  bool WaitNote(int code, long ms) {
    std::unique_lock<std::mutex> l(lock);
    return arrived.wait_for(l, std::chrono::milliseconds(ms),
                            [&] { return std::find(notes.begin(), notes.end(), code) != notes.end(); });
  }
};

// Accepts a stream connection, admits it and returns the start request (if any).
bool AdmitStream(FakePeer& peer, uint16_t expected_session, PeerMessage* start, bool expect_start = true) {
  if (!peer.Accept()) return false;
  PeerMessage open;
  if (!peer.Read(&open) || open.command != 0x1021 || open.payload != FakePeer::Be16s({expected_session})) return false;
  if (!peer.Send(0x1022, FakePeer::Be16s({1}))) return false;
  if (!expect_start) return true;
  return peer.Read(start, 2000);
}

TEST(LiveStream, StartsByKindDeliversUnitsAndStops) {
  LoggedIn site;
  Frames frames;
  FakePeer peer;
  CLiveStream stream;
  stream.SetStreamKind(1);
  stream.SetChannelMask(0x000F);  // stored; nothing is sent before admission
  stream.SetNotifyCallback(Frames::OnNotify, &frames);
  stream.SetFrameCallback(Frames::OnFrame, &frames);
  ASSERT_EQ(stream.StartThread("127.0.0.1", peer.Port(), &site.control), 1);
  EXPECT_EQ(stream.StartThread("127.0.0.1", peer.Port(), &site.control), 1);  // no second worker
  PeerMessage start;
  ASSERT_TRUE(AdmitStream(peer, 0x0456, &start));
  EXPECT_EQ(start.command, 0x4100);
  EXPECT_EQ(start.payload, FakePeer::Be16s({0x000F, 1}));
  ASSERT_TRUE(frames.WaitNote(58, 2000));
  EXPECT_TRUE(stream.IsConnected());

  // Units in two fragments; other commands are ignored.
  ASSERT_TRUE(peer.Send(0x1040));
  ASSERT_TRUE(peer.Send(0x4104, Fragment(1, 1, 2, 0, {1, 2})));
  ASSERT_TRUE(peer.Send(0x4104, Fragment(1, 1, 2, 1, {3})));
  ASSERT_TRUE(frames.WaitUnits(1, 2000));
  {
    std::lock_guard<std::mutex> l(frames.lock);
    EXPECT_EQ(frames.units[0], (std::vector<uint8_t>{1, 2, 3}));
  }

  // A mask change while running goes out at once.
  stream.SetChannelMask(0x0003);
  PeerMessage mask;
  ASSERT_TRUE(peer.Read(&mask));
  EXPECT_EQ(mask.command, 0x4106);
  EXPECT_EQ(mask.payload, FakePeer::Be16s({0x0003}));
  stream.ClearChannelMask();
  ASSERT_TRUE(peer.Read(&mask));
  EXPECT_EQ(mask.payload, FakePeer::Be16s({0}));
  EXPECT_EQ(stream.GetChannelMask(), 0x0003);
  stream.ShowHiddenChannels();
  ASSERT_TRUE(peer.Read(&mask));
  EXPECT_EQ(mask.command, 0x7901);

  const int64_t start_ms = platform::MonotonicMs();
  stream.Stop();
  EXPECT_LT(platform::MonotonicMs() - start_ms, 1500);
  EXPECT_TRUE(frames.WaitNote(11, 100));
  EXPECT_TRUE(peer.SeesClose(1000));

  // Restart reuses host, port and control session.
  EXPECT_EQ(stream.Restart(), 1);
  ASSERT_TRUE(AdmitStream(peer, 0x0456, &start));
  EXPECT_EQ(start.payload, FakePeer::Be16s({0x0003, 1}));
}

TEST(LiveStream, KindZeroSendsNoStartAndAMissingLoginEndsAtOnce) {
  LoggedIn site;
  FakePeer peer;
  Frames frames;
  CLiveStream stream;  // kind 0
  stream.SetNotifyCallback(Frames::OnNotify, &frames);
  EXPECT_EQ(stream.Restart(), 0);  // nothing stored yet
  stream.StartThread("127.0.0.1", peer.Port(), &site.control);
  PeerMessage none;
  ASSERT_TRUE(AdmitStream(peer, 0x0456, &none, false));
  ASSERT_TRUE(frames.WaitNote(58, 2000));
  EXPECT_FALSE(peer.Read(&none, 300));
  stream.Stop();

  // Without a logged-in control session the stream ends without connecting.
  CControlSession idle;
  Frames idle_frames;
  CLiveStream orphan;
  orphan.SetNotifyCallback(Frames::OnNotify, &idle_frames);
  orphan.StartThread("127.0.0.1", peer.Port(), &idle);
  ASSERT_TRUE(idle_frames.WaitNote(11, 2000));
  EXPECT_FALSE(peer.Accept(200));
  EXPECT_EQ(idle_frames.notes, (std::vector<int>{11}));
}

TEST(LiveStream, RefusedOrBrokenStreamsEnd) {
  LoggedIn site;
  FakePeer peer;
  Frames frames;
  CLiveStream stream;
  stream.SetStreamKind(2);
  stream.SetNotifyCallback(Frames::OnNotify, &frames);
  stream.StartThread("127.0.0.1", peer.Port(), &site.control);
  ASSERT_TRUE(peer.Accept());
  PeerMessage open;
  ASSERT_TRUE(peer.Read(&open));
  ASSERT_TRUE(peer.Send(0x1022, FakePeer::Be16s({0xF001})));
  ASSERT_TRUE(frames.WaitNote(11, 3000));
  EXPECT_EQ(frames.notes, (std::vector<int>{11}));
  stream.Stop();

  // Garbage that cannot be skipped ends a running stream.
  Frames more;
  stream.SetNotifyCallback(Frames::OnNotify, &more);
  stream.StartThread("127.0.0.1", peer.Port(), &site.control);
  PeerMessage start;
  ASSERT_TRUE(AdmitStream(peer, 0x0456, &start));
  ASSERT_TRUE(more.WaitNote(58, 2000));
  const uint8_t bad_length[] = {0x28, 0x18, 0x41, 0x04, 0x00, 0x02};
  ASSERT_TRUE(peer.SendRaw(bad_length, sizeof bad_length));
  ASSERT_TRUE(more.WaitNote(11, 3000));
}

TEST(DualLiveStream, StartPairGivesTheSecondaryAnEmptyMask) {
  LoggedIn site;
  FakePeer peer;
  Frames frames;
  CDualLiveStream pair;
  EXPECT_EQ(pair.StreamKind(), 1);
  EXPECT_EQ(pair.Secondary().StreamKind(), 2);
  pair.SetFrameCallback(Frames::OnFrame, &frames);
  pair.SetPrimaryMask(0x01FF);
  ASSERT_EQ(pair.StartPair("127.0.0.1", peer.Port(), &site.control, -1), 1);
  // The two connections may arrive in either order; accepting the second
  // closes the first, which is fine here.
  std::vector<std::vector<uint8_t>> starts;
  for (int i = 0; i < 2; ++i) {
    PeerMessage start;
    ASSERT_TRUE(AdmitStream(peer, 0x0456, &start));
    starts.push_back(start.payload);
    // Units from both connections reach the one callback.
    ASSERT_TRUE(peer.Send(0x4104, Fragment(1, static_cast<uint16_t>(i), 1, 0, {static_cast<uint8_t>(i)})));
    ASSERT_TRUE(frames.WaitUnits(static_cast<size_t>(i + 1), 2000));
  }
  std::sort(starts.begin(), starts.end());
  EXPECT_EQ(starts, (std::vector<std::vector<uint8_t>>{FakePeer::Be16s({0, 2}), FakePeer::Be16s({0x01FF, 1})}));
  EXPECT_EQ(pair.GetSecondaryMask(), 0);
  EXPECT_EQ(pair.GetPrimaryMask(), 0x01FF);
  pair.Stop();
  EXPECT_FALSE(pair.IsConnected());
  EXPECT_FALSE(pair.Secondary().IsConnected());
}

}  // namespace
