// The playback session against a scripted DVR: admission and the playback
// request, what each answer code does, the requests' bytes, the answer
// queue, the restart after the DVR ended playback, and stopping at every
// stage.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

#include "platform/clock.h"
#include "playback/playback_session.h"
#include "support/condition_wait.h"
#include "support/fake_peer.h"

namespace {

// What the session reports, waited for with a bound.
struct Reports {
  std::mutex lock;
  std::condition_variable changed;
  std::deque<int> statuses;
  std::vector<std::vector<uint8_t>> units;

  static void OnStatus(int code, void* user) {
    auto* r = static_cast<Reports*>(user);
    std::lock_guard<std::mutex> l(r->lock);
    r->statuses.push_back(code);
    r->changed.notify_all();
  }
  static void OnFrame(const uint8_t* record, int bytes, void* user) {
    auto* r = static_cast<Reports*>(user);
    std::lock_guard<std::mutex> l(r->lock);
    r->units.emplace_back(record, record + bytes);
    r->changed.notify_all();
  }
  int NextStatus(long timeout_ms = 5000) {
    std::unique_lock<std::mutex> l(lock);
    if (!changed.wait_for(l, std::chrono::milliseconds(timeout_ms), [&] { return !statuses.empty(); })) return -1;
    const int code = statuses.front();
    statuses.pop_front();
    return code;
  }
  size_t WaitUnits(size_t n, long timeout_ms = 5000) {
    std::unique_lock<std::mutex> l(lock);
    changed.wait_for(l, std::chrono::milliseconds(timeout_ms), [&] { return units.size() >= n; });
    return units.size();
  }
};

// Accepts the session's connection, checks its stream open and playback
// request, and admits it.
void Admit(FakePeer& peer, uint16_t session_id) {
  ASSERT_TRUE(peer.Accept());
  PeerMessage m;
  ASSERT_TRUE(peer.Read(&m));
  EXPECT_EQ(m.command, 0x1021);
  EXPECT_EQ(m.payload, FakePeer::Be16s({session_id}));
  ASSERT_TRUE(peer.Send(0x1022, FakePeer::Be16s({1})));
  ASSERT_TRUE(peer.Read(&m));
  EXPECT_EQ(m.command, 0x4110);
  std::vector<uint8_t> expected = FakePeer::Be16s({1, 1, 0, 0xFFFF, 3, 1, 1970, 1, 1, 1, 1, 1});
  expected.resize(76, 0);
  EXPECT_EQ(m.payload, expected);
}

// One 0x4104 fragment: identifier words, count and index, then data.
std::vector<uint8_t> Fragment(uint16_t first, uint16_t second, uint8_t count, uint8_t index,
                              const std::vector<uint8_t>& data) {
  std::vector<uint8_t> p(24, 0);
  platform::PutU16BE(&p[2], first);
  platform::PutU16BE(&p[4], second);
  p[20] = count;
  p[21] = index;
  p.insert(p.end(), data.begin(), data.end());
  return p;
}

TEST(PlaybackSession, PlaysReportsAndStartsAgainAfterTheEnd) {
  FakePeer peer;
  Reports reports;
  CCodeLog notes;
  CPlaybackSession session;
  session.SetNotifyCallback(&CCodeLog::OnCode, &notes);
  session.SetStatusCallback(&Reports::OnStatus, &reports);
  session.SetFrameCallback(&Reports::OnFrame, &reports);
  // Nothing goes out before the DVR admitted the connection.
  EXPECT_FALSE(session.SetPosition(2026, 12, 7, 10, 0, 0));
  ASSERT_EQ(session.StartPlayback("127.0.0.1", peer.Port(), 0x0102), 1);
  Admit(peer, 0x0102);
  ASSERT_TRUE(notes.WaitCount(kNotifyStreamRunning, 1) && session.IsAdmitted());
  EXPECT_FALSE(session.IsPlaying());

  // The requests, byte for byte.
  EXPECT_TRUE(session.SetPosition(2026, 12, 7, 23, 59, 58));
  EXPECT_TRUE(session.PlayControl(1, 1, 3));
  EXPECT_TRUE(session.SendPlaybackMask(0x0005));
  EXPECT_TRUE(session.SendZeroRequest(0x4128));
  EXPECT_FALSE(session.SendZeroRequest(0x4112));  // only the two zero requests
  EXPECT_TRUE(session.ShowHiddenChannels());
  EXPECT_TRUE(session.HideHiddenChannels());
  EXPECT_TRUE(session.ClosePlayback());
  const std::pair<uint16_t, std::vector<uint8_t>> sent[] = {
      {0x4126, FakePeer::Be16s({2026, 12, 7, 23, 59, 58})},
      {0x412C, FakePeer::Be16s({1, 1, 3})},
      {0x4106, FakePeer::Be16s({5})},
      {0x4128, FakePeer::Be16s({0})},
      {0x7911, {0}},
      {0x7912, {0}},
      {0x4112, {0}},
  };
  for (const auto& [command, payload] : sent) {
    PeerMessage m;
    ASSERT_TRUE(peer.Read(&m));
    EXPECT_EQ(m.command, command);
    EXPECT_EQ(m.payload, payload) << std::hex << command;
  }

  // The ignored codes do nothing; any other answer is queued, the oldest
  // dropped when the queue is full, and the loop goes on.
  for (uint16_t code : {0x4105, 0x4113, 0x4121, 0x4123, 0x4125, 0x4127, 0x4129, 0x412B, 0x412D}) {
    ASSERT_TRUE(peer.Send(code, {0}));
  }
  const int queued = session.AnswerQueue().Capacity() + 3;
  for (int i = 0; i < queued; ++i) ASSERT_TRUE(peer.Send(0x4999, FakePeer::Be16s({static_cast<uint16_t>(i)})));
  ASSERT_TRUE(peer.Send(0x4111));
  ASSERT_EQ(reports.NextStatus(), kPlaybackStatusRunning);
  EXPECT_TRUE(session.IsPlaying());
  EXPECT_TRUE(session.IsConnected());
  EXPECT_EQ(session.AnswerQueue().Size(), session.AnswerQueue().Capacity());
  uint8_t oldest[2] = {};
  uint16_t command = 0;
  ASSERT_GT(session.TakeAnswer(&command, oldest, sizeof oldest, 0), 0);
  EXPECT_EQ(command, 0x4999);
  EXPECT_EQ(platform::GetU16BE(oldest), 3);

  // Frames are reassembled as on a live stream.
  ASSERT_TRUE(peer.Send(0x4104, Fragment(1, 7, 2, 0, {1, 2, 3})));
  ASSERT_TRUE(peer.Send(0x4104, Fragment(1, 7, 2, 1, {4, 5})));
  ASSERT_EQ(reports.WaitUnits(1), 1u);
  EXPECT_EQ(reports.units[0], (std::vector<uint8_t>{1, 2, 3, 4, 5}));

  // The end: status 15 from the worker, which the owner answers with a new
  // start (here from the status callback's thread, as a posted handler
  // would run at any moment): a new stream open with the new session id.
  ASSERT_TRUE(peer.Send(0x4114));
  ASSERT_EQ(reports.NextStatus(), kPlaybackStatusEnded);
  EXPECT_FALSE(session.IsPlaying());
  EXPECT_TRUE(reports.statuses.empty());
  session.StartPlayback("127.0.0.1", peer.Port(), 0x0103);
  Admit(peer, 0x0103);
  EXPECT_TRUE(notes.WaitCount(kNotifyStreamRunning, 2) && session.IsAdmitted());
  EXPECT_EQ(session.Rounds(), 2);
  session.Stop();
  EXPECT_FALSE(session.IsWorkerActive());
  EXPECT_TRUE(reports.statuses.empty());  // a stop reports nothing
}

// The status handler starting the session again from the worker's own
// thread: the worker connects once more instead of ending.
struct RestartingHandler {
  CPlaybackSession* session = nullptr;
  int port = 0;
  std::atomic<int> ends{0};
  static void OnStatus(int code, void* user) {
    auto* h = static_cast<RestartingHandler*>(user);
    if (code == kPlaybackStatusEnded && h->ends.fetch_add(1) == 0) h->session->StartPlayback("127.0.0.1", h->port, 9);
  }
};

TEST(PlaybackSession, AStartFromTheStatusCallbackConnectsAgain) {
  FakePeer peer;
  CCodeLog notes;
  CPlaybackSession session;
  session.SetNotifyCallback(&CCodeLog::OnCode, &notes);
  RestartingHandler handler{&session, peer.Port()};
  session.SetStatusCallback(&RestartingHandler::OnStatus, &handler);
  session.StartPlayback("127.0.0.1", peer.Port(), 8);
  Admit(peer, 8);
  ASSERT_TRUE(peer.Send(0x4114));
  Admit(peer, 9);
  EXPECT_TRUE(notes.WaitCount(kNotifyStreamRunning, 2) && session.IsAdmitted() && session.Rounds() == 2);
  // A DVR that cannot take the playback request ends the session with 15
  // as well; this time nobody starts it again.
  peer.CloseClient();
  EXPECT_TRUE(notes.WaitCount(kNotifyStreamEnded, 1));
  EXPECT_EQ(handler.ends.load(), 1);  // a lost connection is no status 15
}

TEST(PlaybackSession, StopsAtEveryStageWithoutAReport) {
  Reports reports;
  {
    // Refused: the worker ends silently.
    FakePeer peer;
    CCodeLog notes;
    CPlaybackSession session;
    session.SetNotifyCallback(&CCodeLog::OnCode, &notes);
    session.SetStatusCallback(&Reports::OnStatus, &reports);
    session.StartPlayback("127.0.0.1", peer.Port(), 1);
    ASSERT_TRUE(peer.Accept());
    PeerMessage m;
    ASSERT_TRUE(peer.Read(&m));
    ASSERT_TRUE(peer.Send(0x1022, FakePeer::Be16s({0xF001})));
    EXPECT_TRUE(notes.WaitCount(kNotifyStreamEnded, 1));
    EXPECT_FALSE(session.IsAdmitted());
  }
  {
    // Waiting for the admission answer, then admitted but never playing:
    // each stop wakes the worker and joins it at once.
    FakePeer peer;
    CCodeLog notes;
    CPlaybackSession session;
    session.SetNotifyCallback(&CCodeLog::OnCode, &notes);
    session.SetStatusCallback(&Reports::OnStatus, &reports);
    session.StartPlayback("127.0.0.1", peer.Port(), 1);
    ASSERT_TRUE(peer.Accept());
    int64_t start = platform::MonotonicMs();
    session.Stop();
    EXPECT_LT(platform::MonotonicMs() - start, 1500);
    session.StartPlayback("127.0.0.1", peer.Port(), 2);
    Admit(peer, 2);
    ASSERT_TRUE(notes.WaitCount(kNotifyStreamRunning, 1) && session.IsAdmitted());
    start = platform::MonotonicMs();
    session.Stop();
    EXPECT_LT(platform::MonotonicMs() - start, 1500);
    EXPECT_TRUE(peer.SeesClose(2000));
  }
  {
    // Deleted while it runs, before the DVR ever said it plays.
    FakePeer peer;
    CCodeLog notes;  // outlives the session
    auto session = std::make_unique<CPlaybackSession>();
    session->SetNotifyCallback(&CCodeLog::OnCode, &notes);
    session->StartPlayback("127.0.0.1", peer.Port(), 3);
    Admit(peer, 3);
    ASSERT_TRUE(notes.WaitCount(kNotifyStreamRunning, 1) && session->IsAdmitted());
    session.reset();
  }
  EXPECT_TRUE(reports.statuses.empty());
}

}  // namespace
