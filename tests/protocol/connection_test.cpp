// Framing, send and receive, answer queue and worker-thread behaviour of
// CDvrConnection against a scripted peer on loopback.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "platform/clock.h"
#include "protocol/connection.h"
#include "support/fake_peer.h"

namespace {

// Polls pred until it holds, for at most 5 s.
template <typename Pred>
bool WaitUntil(Pred pred) {
  const int64_t deadline = platform::MonotonicMs() + 5000;
  while (!pred()) {
    if (platform::MonotonicMs() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

class TestConnection : public CDvrConnection {
 public:
  using CDvrConnection::DetachCurrentPacket;
  using CDvrConnection::LaunchWorker;
};

struct Connected {
  FakePeer peer;
  TestConnection conn;
  Connected() {
    EXPECT_EQ(conn.Start("127.0.0.1", peer.Port()), 1);
    EXPECT_TRUE(peer.Accept());
  }
};

TEST(Framing, ReceivesWholeMessagesAndRejectsBadHeaders) {
  Connected c;
  uint8_t buf[64];
  uint16_t command = 0;

  // Bad magic: 0, and exactly the 6 header bytes are consumed.
  ASSERT_TRUE(c.peer.SendRaw(FakePeer::Frame(0x1111, {}, 0x1234)));
  ASSERT_TRUE(c.peer.Send(0x2F01, {1, 2, 3}));
  EXPECT_EQ(c.conn.ReceiveMessage(&command, buf, sizeof buf, 2), 0);
  EXPECT_EQ(c.conn.ReceiveMessage(&command, buf, sizeof buf, 2), 9);
  EXPECT_EQ(command, 0x2F01);
  EXPECT_EQ(buf[2], 3);

  // Total length exactly 6: no payload read.
  ASSERT_TRUE(c.peer.Send(0x1040));
  EXPECT_EQ(c.conn.ReceiveMessage(&command, buf, sizeof buf, 2), 6);
  EXPECT_EQ(command, 0x1040);

  // Longer than the capacity: -2 and the payload stays unread.
  ASSERT_TRUE(c.peer.Send(0x7777, std::vector<uint8_t>(10, 0xAB)));
  EXPECT_EQ(c.conn.ReceiveMessage(&command, buf, 4, 2), kResultTooLong);
  EXPECT_EQ(c.conn.ReceiveTimed(buf, 10, 2), 10);
  EXPECT_EQ(buf[9], 0xAB);

  // A header split over several sends still arrives whole.
  auto frame = FakePeer::Frame(0x2F12, {9, 8, 7, 6});
  std::thread drip([&] {
    for (uint8_t b : frame) {
      c.peer.SendRaw(&b, 1);
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  });
  EXPECT_EQ(c.conn.ReceiveMessage(&command, buf, sizeof buf, 2), 10);
  EXPECT_EQ(command, 0x2F12);
  EXPECT_EQ(buf[3], 6);
  drip.join();

  // A total length below 6 is a failed read.
  const uint8_t short_total[] = {0x28, 0x18, 0x10, 0x40, 0x00, 0x05};
  ASSERT_TRUE(c.peer.SendRaw(short_total, sizeof short_total));
  EXPECT_EQ(c.conn.ReceiveMessage(&command, buf, sizeof buf, 2), -1);
}

TEST(Framing, SilenceIsATimeoutButAStalledMessageFails) {
  Connected c;
  c.conn.SetRestTimeoutMs(200);
  uint8_t buf[64];
  uint16_t command = 0;
  const int64_t start = platform::MonotonicMs();
  EXPECT_EQ(c.conn.ReceiveMessageMs(&command, buf, sizeof buf, 100), 0);
  EXPECT_GE(platform::MonotonicMs() - start, 90);

  // Header announces 20 payload bytes, only 3 come: the read fails instead of
  // waiting forever or leaving the stream out of step.
  auto frame = FakePeer::Frame(0x2F01, std::vector<uint8_t>(20, 1));
  ASSERT_TRUE(c.peer.SendRaw(frame.data(), kMessageHeaderSize + 3));
  EXPECT_EQ(c.conn.ReceiveMessageMs(&command, buf, sizeof buf, 100), -1);

  // Half a header, then nothing.
  Connected d;
  d.conn.SetRestTimeoutMs(200);
  ASSERT_TRUE(d.peer.SendRaw(frame.data(), 3));
  EXPECT_EQ(d.conn.ReceiveMessageMs(&command, buf, sizeof buf, 100), -1);
}

TEST(Framing, SendRefusesOversizedPayloadsAndKeepsMessagesWhole) {
  Connected c;
  std::vector<uint8_t> big(kMaxPayloadSize + 1, 0);
  EXPECT_EQ(c.conn.SendMessage(0x7113, big.data(), static_cast<int>(big.size())), kResultTooLong);
  EXPECT_EQ(c.conn.SendMessage(0x1040, nullptr, 0), 6);
  PeerMessage m;
  ASSERT_TRUE(c.peer.Read(&m));  // nothing of the refused message went out
  EXPECT_EQ(m.command, 0x1040);

  // Several threads sending at once: every message arrives whole.
  constexpr int kThreads = 4;
  constexpr int kEach = 200;
  std::vector<std::thread> senders;
  for (int t = 0; t < kThreads; ++t) {
    senders.emplace_back([&, t] {
      std::vector<uint8_t> payload(1000 + t * 333, static_cast<uint8_t>(t));
      for (int i = 0; i < kEach; ++i) c.conn.Send(static_cast<uint16_t>(0x5000 + t), payload.data(), static_cast<int>(payload.size()));
    });
  }
  int counts[kThreads] = {};
  for (int i = 0; i < kThreads * kEach; ++i) {
    ASSERT_TRUE(c.peer.Read(&m)) << "message " << i;
    const int t = m.command - 0x5000;
    ASSERT_TRUE(t >= 0 && t < kThreads);
    ASSERT_EQ(m.payload.size(), 1000u + t * 333u);
    for (uint8_t b : m.payload) ASSERT_EQ(b, t);
    ++counts[t];
  }
  for (auto& s : senders) s.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(counts[t], kEach);
}

TEST(Framing, SendOnAClosedConnectionFails) {
  TestConnection conn;
  EXPECT_EQ(conn.SendAll("x", 1), -1);
  EXPECT_EQ(conn.SendMessage(0x1040, nullptr, 0), -1);
  uint8_t buf[8];
  uint16_t command;
  EXPECT_EQ(conn.ReceiveMessage(&command, buf, sizeof buf, 1), -1);
}

TEST(Open, ReportsUnresolvedHostsAndRefusedConnections) {
  TestConnection conn;
  EXPECT_EQ(conn.Start("no-such-host.invalid", 1), kResultNotResolved);
  // A port nobody listens on.
  const int port = FakePeer::UnusedPort();
  EXPECT_EQ(conn.Start("127.0.0.1", port), 0);
  // The failed socket is not reused: the next open works.
  FakePeer peer;
  EXPECT_EQ(conn.Start("127.0.0.1", peer.Port()), 1);
}

CFramePacket* MakePacket(uint16_t command, std::vector<uint8_t> payload) {
  auto* p = new CFramePacket(static_cast<int>(payload.size()));
  std::copy(payload.begin(), payload.end(), p->Payload());
  p->command = command;
  p->payload_length = static_cast<int>(payload.size());
  p->total_length = p->payload_length + kMessageHeaderSize;
  return p;
}

TEST(Queue, PushAndPopWaitRules) {
  CFrameQueue q(2);
  EXPECT_EQ(q.Push(nullptr, 0), 1);
  EXPECT_EQ(q.Size(), 0);
  EXPECT_EQ(q.Push(MakePacket(1, {}), 0), 1);
  EXPECT_EQ(q.Push(MakePacket(2, {}), 0), 1);
  CFramePacket* third = MakePacket(3, {});
  EXPECT_EQ(q.Push(third, 0), 0);  // full, no wait: refused at once, caller keeps it

  // With an unlimited wait the push returns once a pop made room.
  std::atomic<bool> pushed{false};
  std::thread producer([&] {
    EXPECT_EQ(q.Push(third, -1), 1);
    pushed = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(pushed.load());
  CFramePacket* first = q.Pop(0);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->command, 1);
  delete first;
  producer.join();
  EXPECT_TRUE(pushed.load());

  // Dropping the oldest keeps the newest.
  q.PushDropOldest(MakePacket(4, {}));
  std::unique_ptr<CFramePacket> a(q.Pop(0)), b(q.Pop(0));
  EXPECT_EQ(a->command, 3);
  EXPECT_EQ(b->command, 4);

  // An empty queue: no wait gives nothing at once; a wait ends on time.
  EXPECT_EQ(q.Pop(0), nullptr);
  const int64_t start = platform::MonotonicMs();
  EXPECT_EQ(q.Pop(1), nullptr);
  EXPECT_GE(platform::MonotonicMs() - start, 900);

  CFrameQueue tiny(0);
  EXPECT_EQ(tiny.Capacity(), 1);
}

TEST(Queue, PopWakesOnAPushFromAnotherThread) {
  CFrameQueue q(4);
  std::thread later([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    q.Push(MakePacket(7, {}), 0);
  });
  std::unique_ptr<CFramePacket> p(q.Pop(5));
  later.join();
  ASSERT_TRUE(p);
  EXPECT_EQ(p->command, 7);
}

TEST(Answers, WaitForAnswerSkipsOtherCodesAndRefusesOversizedOnes) {
  TestConnection conn;
  conn.AnswerQueue().Push(MakePacket(0x7777, {1}), 0);
  conn.AnswerQueue().Push(MakePacket(0x7112, {0, 5}), 0);
  uint8_t buf[16] = {};
  EXPECT_EQ(conn.WaitForAnswer(0x7112, buf, sizeof buf, 2), 8);
  EXPECT_EQ(buf[1], 5);
  EXPECT_EQ(conn.AnswerQueue().Size(), 0);

  // Larger than the destination: not delivered, and not leaked.
  conn.AnswerQueue().Push(MakePacket(0x7112, std::vector<uint8_t>(32, 1)), 0);
  uint16_t command = 0;
  EXPECT_EQ(conn.TakeAnswer(&command, buf, sizeof buf, 0), 0);
  EXPECT_EQ(conn.AnswerQueue().Size(), 0);

  // Nothing comes: the wait ends at its deadline.
  const int64_t start = platform::MonotonicMs();
  EXPECT_EQ(conn.WaitForAnswer(0x7112, buf, sizeof buf, 1), 0);
  EXPECT_LE(platform::MonotonicMs() - start, 2500);
}

TEST(Packets, TrimKeepsTheMessage) {
  CFramePacket p;
  EXPECT_EQ(p.PayloadCapacity(), kPacketPayloadCapacity);
  p.Payload()[0] = 0x42;
  p.Payload()[1] = 0x43;
  p.payload_length = 2;
  p.Trim();
  EXPECT_EQ(p.BufferSize(), kMessageHeaderSize + 2);
  EXPECT_EQ(p.Payload()[1], 0x43);
}

TEST(Worker, StopWakesABlockedReceiveAndJoins) {
  FakePeer peer;
  TestConnection conn;
  ASSERT_EQ(conn.Start("127.0.0.1", peer.Port()), 1);
  ASSERT_TRUE(peer.Accept());
  std::atomic<int> result{1};
  std::promise<void> receiving;
  ASSERT_TRUE(conn.LaunchWorker([&] {
    uint8_t buf[16];
    uint16_t command;
    receiving.set_value();
    result = conn.ReceiveMessage(&command, buf, sizeof buf, 60);
    conn.Close();
  }));
  EXPECT_FALSE(conn.LaunchWorker([] {}));  // one worker at a time
  ASSERT_EQ(receiving.get_future().wait_for(std::chrono::seconds(5)), std::future_status::ready);
  const int64_t start = platform::MonotonicMs();
  conn.Stop();
  EXPECT_LT(platform::MonotonicMs() - start, 1000);
  EXPECT_EQ(result.load(), -1);
  EXPECT_FALSE(conn.IsWorkerActive());
  EXPECT_TRUE(peer.SeesClose(1000));

  // A worker that has ended is joined by the next launch.
  std::atomic<int> runs{0};
  ASSERT_TRUE(conn.LaunchWorker([&] { ++runs; }));
  ASSERT_TRUE(WaitUntil([&] { return !conn.IsWorkerActive(); }));
  ASSERT_TRUE(conn.LaunchWorker([&] { ++runs; }));
  conn.Stop();
  EXPECT_EQ(runs.load(), 2);
}

TEST(Worker, StopFromTheWorkerItselfDoesNotDeadlock) {
  FakePeer peer;
  TestConnection conn;
  ASSERT_EQ(conn.Start("127.0.0.1", peer.Port()), 1);
  ASSERT_TRUE(peer.Accept());
  std::promise<void> done;
  ASSERT_TRUE(conn.LaunchWorker([&] {
    conn.Stop();
    done.set_value();
  }));
  EXPECT_EQ(done.get_future().wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_TRUE(peer.SeesClose(1000));
  conn.Stop();
}

}  // namespace
