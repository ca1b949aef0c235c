#include "platform/socket.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"

using namespace platform;

namespace {

uint32_t Loopback() {
  uint32_t addr = 0;
  EXPECT_TRUE(ResolveIPv4("127.0.0.1", &addr));
  return addr;
}

// A connected pair over loopback.
struct Pair {
  int listener = kInvalidSocket;
  int client = kInvalidSocket;
  int server = kInvalidSocket;
  ~Pair() {
    CloseSocket(client);
    CloseSocket(server);
    CloseSocket(listener);
  }
};

void Connect(Pair* p) {
  p->listener = ListenTcp("127.0.0.1", 0, 4);
  ASSERT_NE(p->listener, kInvalidSocket);
  const int port = LocalPort(p->listener);
  ASSERT_GT(port, 0);
  p->client = CreateStreamSocket();
  ASSERT_NE(p->client, kInvalidSocket);
  ASSERT_EQ(ConnectTimed(p->client, Loopback(), port, 2, nullptr), 1);
  p->server = AcceptTimed(p->listener, 1000);
  ASSERT_NE(p->server, kInvalidSocket);
}

TEST(Socket, ExchangesDataOverLoopback) {
  Pair p;
  ASSERT_NO_FATAL_FAILURE(Connect(&p));
  EXPECT_TRUE(SetSocketBufferSizes(p.client, 64 * 1024));

  const std::string msg = "hello dvr";
  ASSERT_EQ(SendSome(p.client, msg.data(), msg.size()), static_cast<long>(msg.size()));
  ASSERT_EQ(WaitReadable(p.server, 1000), 1);
  char buf[64];
  ASSERT_EQ(RecvSome(p.server, buf, sizeof buf), static_cast<long>(msg.size()));
  EXPECT_EQ(std::string(buf, msg.size()), msg);

  // Nothing more to read: the wait runs out after about its time.
  int64_t start = MonotonicMs();
  EXPECT_EQ(WaitReadable(p.server, 150), 0);
  int64_t waited = MonotonicMs() - start;
  EXPECT_GE(waited, 140);
  EXPECT_LT(waited, 1000);

  // The peer closing reads as readable, then end of stream.
  CloseSocket(p.client);
  p.client = kInvalidSocket;
  EXPECT_EQ(WaitReadable(p.server, 1000), 1);
  EXPECT_EQ(RecvSome(p.server, buf, sizeof buf), 0);
}

TEST(Socket, ConnectToClosedPortFailsQuickly) {
  int listener = ListenTcp("127.0.0.1", 0, 1);
  ASSERT_NE(listener, kInvalidSocket);
  const int port = LocalPort(listener);
  CloseSocket(listener);

  int fd = CreateStreamSocket();
  ASSERT_NE(fd, kInvalidSocket);
  int64_t start = MonotonicMs();
  EXPECT_EQ(ConnectTimed(fd, Loopback(), port, 5, nullptr), 0);
  EXPECT_LT(MonotonicMs() - start, 1000);
  CloseSocket(fd);
}

TEST(Socket, ConnectAbandonedWhenToldToStop) {
  // A listener whose accept queue is full leaves new connection attempts
  // unanswered, so a connect to it stays pending.
  int listener = ListenTcp("127.0.0.1", 0, 0);
  ASSERT_NE(listener, kInvalidSocket);
  const int port = LocalPort(listener);
  std::vector<int> fillers;
  bool full = false;
  for (int i = 0; i < 8 && !full; ++i) {
    int fd = CreateStreamSocket();
    ASSERT_NE(fd, kInvalidSocket);
    if (ConnectTimed(fd, Loopback(), port, 1, nullptr) == 1) {
      fillers.push_back(fd);
    } else {
      full = true;
      CloseSocket(fd);
    }
  }
  if (!full) {
    for (int fd : fillers) CloseSocket(fd);
    CloseSocket(listener);
    GTEST_SKIP() << "could not fill the accept queue";
  }
  int pending = CreateStreamSocket();
  ASSERT_NE(pending, kInvalidSocket);

  std::atomic<bool> keep_going{true};
  std::thread stopper([&] {
    SleepMs(300);
    keep_going = false;
  });
  int64_t start = MonotonicMs();
  EXPECT_EQ(ConnectTimed(pending, Loopback(), port, 10, &keep_going), 0);
  int64_t took = MonotonicMs() - start;
  stopper.join();
  EXPECT_GE(took, 250);
  EXPECT_LT(took, 2000);

  CloseSocket(pending);
  for (int fd : fillers) CloseSocket(fd);
  CloseSocket(listener);
}

TEST(Socket, ShutdownWakesBlockedReceive) {
  Pair p;
  ASSERT_NO_FATAL_FAILURE(Connect(&p));
  auto result = std::async(std::launch::async, [fd = p.server] {
    char buf[16];
    return RecvSome(fd, buf, sizeof buf);
  });
  ASSERT_EQ(result.wait_for(std::chrono::milliseconds(150)), std::future_status::timeout);
  ShutdownSocket(p.server);
  ASSERT_EQ(result.wait_for(std::chrono::seconds(2)), std::future_status::ready);
  EXPECT_EQ(result.get(), 0);
}

}  // namespace
